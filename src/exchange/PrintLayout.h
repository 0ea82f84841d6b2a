#pragma once
// Page layout of the printed entry list, as plain arithmetic on a few font
// and page measures, so that it can be checked without a printer.
//
// Every page starts with the caption line (名称 区号 邮编 所属) at the top;
// rows follow at a fixed pitch, and a page ends after the row that takes
// the next line position past 80 % of the printable height.
#include "lookup/EntryRows.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

// Measures in the printer's device pixels, taken in the printing font.
struct PrintMetrics {
    int charWidth = 0;        // width of "字"
    int charHeight = 0;       // height of "阿"
    int dpiY = 0;             // vertical resolution, dots per inch
    int printableHeight = 0;  // height of the printable area
};

// The four texts of one printed line, left to right: name, area code,
// postcode and the owning directory (所属). GBK.
using PrintCells = std::array<std::string_view, 4>;

// The caption line, GBK: 名称, 区号, 邮编, 所属.
const PrintCells& printCaptions();

// A row of the list in print column order (the list shows 所属 first).
PrintCells printCells(const EntryRowSet& set, const EntryRow& row);

struct PrintPage {
    size_t firstRow = 0;
    size_t rowCount = 0;
};

struct PrintLine {
    int y = 0;
    bool caption = false;
    size_t row = 0;  // index into the rows when not the caption
    PrintCells texts;
};

class PrintLayout {
public:
    PrintLayout(const PrintMetrics& metrics, size_t rowCount);

    int linePitch() const { return m_linePitch; }
    // x of the four columns: 0, 13 w, 16 w, 21 w.
    const std::array<int, 4>& columns() const { return m_columns; }
    // No page for no rows, and no empty page after the last row.
    size_t pageCount() const;
    PrintPage page(size_t index) const;

    // The lines of one page from the top: the caption line, then its rows,
    // whose texts come from `cells(rowIndex)`.
    std::vector<PrintLine> lines(size_t pageIndex, const std::function<PrintCells(size_t)>& cells) const;

    // Width left for the text of column `c` on a page `pageWidth` wide: up to
    // the next column less a gap of `gap`, for the last one up to the edge.
    int columnRoom(size_t c, int pageWidth, int gap) const;

private:
    int m_linePitch;
    std::array<int, 4> m_columns;
    size_t m_rowCount;
    size_t m_rowsPerPage;  // on a full page (every page but perhaps the last)
};

// What a job takes from the printer set-up: a page range (1-based and
// inclusive, 0 and 0 for all pages), the number of copies, whether copies are
// collated (each copy whole before the next) and whether the last page comes
// first.
struct PrintJobOptions {
    int fromPage = 0;
    int toPage = 0;
    int copies = 1;
    bool collate = true;
    bool lastPageFirst = false;
    // The pages as listed ("1,3-5"): when given they, not the span from
    // fromPage to toPage, are the pages printed. Ascending, 1-based, inclusive.
    std::vector<std::pair<int, int>> ranges;
};

// The layout's page indexes (0-based) in the order a job sends them, copies
// included; empty when the range holds none of the `pageCount` pages.
std::vector<size_t> printSequence(size_t pageCount, const PrintJobOptions& options);

}  // namespace qv
