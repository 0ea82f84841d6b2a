#include "exchange/PrintLayout.h"

#include "store/GbkText.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace qv {

namespace {

int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

const PrintCells& printCaptions()
{
    static const std::array<std::string, 4> texts = {
        *gbk::fromUtf8("名称"), *gbk::fromUtf8("区号"), *gbk::fromUtf8("邮编"), *gbk::fromUtf8("所属")};
    static const PrintCells cells = {texts[0], texts[1], texts[2], texts[3]};
    return cells;
}

PrintCells printCells(const EntryRowSet& set, const EntryRow& row)
{
    return {set.cellText(row, kColumnName), set.cellText(row, kColumnAreaCode), set.cellText(row, kColumnPostcode),
            set.cellText(row, kColumnDirectory)};
}

PrintLayout::PrintLayout(const PrintMetrics& m, size_t rowCount)
    : m_rowCount(rowCount)
{
    // A pitch of at least one pixel keeps every line below the one before,
    // whatever a broken font or printer reports.
    m_linePitch = clampToInt(std::max<int64_t>(int64_t(m.charHeight) + std::max(m.dpiY, 0) / 10, 1));
    const int64_t w = std::max(m.charWidth, 0);
    m_columns = {0, clampToInt(13 * w), clampToInt(16 * w), clampToInt(21 * w)};
    // After the caption and k rows the next line is at (k + 1) h; the page
    // ends at the first k where that exceeds 0.8 H, that is 5 (k + 1) h > 4 H.
    // A page always holds at least one row.
    const int64_t height = std::max(m.printableHeight, 0);
    m_rowsPerPage = size_t(std::max<int64_t>(4 * height / (5 * int64_t(m_linePitch)), 1));
}

size_t PrintLayout::pageCount() const { return (m_rowCount + m_rowsPerPage - 1) / m_rowsPerPage; }

PrintPage PrintLayout::page(size_t index) const
{
    const size_t first = std::min(index * m_rowsPerPage, m_rowCount);
    return {first, std::min(m_rowsPerPage, m_rowCount - first)};
}

std::vector<PrintLine> PrintLayout::lines(size_t pageIndex, const std::function<PrintCells(size_t)>& cells) const
{
    const PrintPage p = page(pageIndex);
    std::vector<PrintLine> out;
    if (p.rowCount == 0)
        return out;
    out.reserve(p.rowCount + 1);
    out.push_back({0, true, 0, printCaptions()});
    for (size_t i = 0; i < p.rowCount; ++i) {
        const size_t row = p.firstRow + i;
        out.push_back({clampToInt(int64_t(i + 1) * m_linePitch), false, row, cells(row)});
    }
    return out;
}

int PrintLayout::columnRoom(size_t c, int pageWidth, int gap) const
{
    const int64_t end = c + 1 < m_columns.size() ? int64_t(m_columns[c + 1]) - std::max(gap, 0) : pageWidth;
    return clampToInt(std::max<int64_t>(end - m_columns[c], 0));
}

std::vector<size_t> printSequence(size_t pageCount, const PrintJobOptions& o)
{
    std::vector<size_t> out;
    // A range that starts past the last page prints nothing; one that ends
    // past it stops at the last page.
    std::vector<size_t> pages;
    const auto span = [&](int from, int to) {
        const size_t first = from > 0 ? size_t(from) - 1 : 0;
        const size_t last = to > 0 ? std::min(size_t(to), pageCount) : pageCount;
        for (size_t p = std::max(first, pages.empty() ? 0 : pages.back() + 1); p < last; ++p)
            pages.push_back(p);
    };
    if (o.ranges.empty())
        span(o.fromPage, o.toPage);
    for (const auto& [from, to] : o.ranges)
        if (from > 0 && to >= from)  // a listed range never means "all pages"
            span(from, to);
    if (pages.empty())
        return out;
    if (o.lastPageFirst)
        std::reverse(pages.begin(), pages.end());
    const size_t copies = size_t(std::max(o.copies, 1));
    out.reserve(pages.size() * copies);
    if (o.collate) {
        for (size_t k = 0; k < copies; ++k)
            out.insert(out.end(), pages.begin(), pages.end());
    } else {
        for (size_t p : pages)
            out.insert(out.end(), copies, p);
    }
    return out;
}

}  // namespace qv
