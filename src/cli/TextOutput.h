#pragma once
// What qarvenda-cli prints: rows as columns aligned by display width for a
// terminal, tab- or comma-separated lines for a pipe, or JSON; and the byte
// sink they go to.
#include <QIODevice>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

// Terminal cells taken by UTF-8 text: two for East Asian wide and full-width
// characters (every Chinese character), none for combining marks, one for
// anything else, a malformed byte included.
int displayWidth(std::string_view utf8);

enum class Conversion { None, GbkToUtf8, Utf8ToGbk };

// Bytes for standard output (or, with fd -1, kept in text() for tests),
// written in large pieces. With a conversion what is written goes out in the
// other encoding, converted a piece at a time: one conversion for many rows
// costs far less than one per cell. A character GBK has no form for goes out
// as "?". A failed write is remembered, not thrown.
class Output {
public:
    explicit Output(int fd, Conversion conversion = Conversion::None) : m_fd(fd), m_conversion(conversion) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(std::string_view bytes)
    {
        m_buffer.append(bytes);
        if (m_buffer.size() >= kPiece)
            pass(false);
    }
    // Passes on everything written so far.
    bool flush()
    {
        pass(true);
        return !failed();
    }
    bool failed() const { return m_errno != 0; }
    int error() const { return m_errno; }
    // What went out (with fd -1).
    const std::string& text() const { return m_written; }

private:
    void pass(bool all);
    void put(std::string_view bytes);

    static constexpr size_t kPiece = 1 << 20;
    int m_fd;
    Conversion m_conversion;
    int m_errno = 0;
    std::string m_buffer;
    std::string m_written;
};

// A write-only device over an Output, for writers that take a QIODevice.
class OutputDevice : public QIODevice {
public:
    explicit OutputDevice(Output& out) : m_out(out) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        m_out.write(std::string_view(data, size_t(size)));
        return m_out.failed() ? -1 : size;
    }
    qint64 readData(char*, qint64) override { return -1; }

private:
    Output& m_out;
};

// Tabs: one line per row, cells separated by tabs. Csv: RFC 4180, a cell
// quoted only when it holds a comma, a quote, CR or LF, lines ending in CR LF
// as the text export's do. Kvrn: the text export's lines, cells joined by
// commas as they are. Json: one array of objects; Jsonl: one object a line.
enum class Layout { Aligned, Tabs, Csv, Kvrn, Json, Jsonl };

struct Column {
    std::string caption;  // header of an aligned table, or of tsv and csv with a caption line
    std::string key;      // name in a JSON object
    bool number = false;  // right-aligned; a JSON number rather than a string
};

struct TableOptions {
    // Control characters become blanks: always in a table and between tabs,
    // and in every layout that goes to a terminal (JSON escapes them anyway).
    bool blankControls = false;
    bool captionLine = false;  // tsv and csv: the captions first
};

// Writes rows of cells in one layout. Separated and JSON rows go out as they
// come; an aligned table is held until finish() knows the widths. Cells are
// UTF-8 (separated cells may be any ASCII-compatible bytes).
class TableWriter {
public:
    TableWriter(Output& out, Layout layout, std::vector<Column> columns, TableOptions options = {});
    void add(const std::string_view* cells);  // one cell per column
    void add(std::initializer_list<std::string_view> cells) { add(cells.begin()); }
    int64_t rows() const { return m_rows; }
    // Ends the output; an aligned table with rows gets `footer` on a line of its own.
    void finish(std::string_view footer = {});

private:
    Output& m_out;
    Layout m_layout;
    std::vector<Column> m_columns;
    TableOptions m_options;
    // Aligned: every cell's text, row after row, in one string; where each
    // ends, its display width, and the widest cell of each column.
    std::string m_text;
    std::vector<size_t> m_ends;
    std::vector<uint16_t> m_cellWidths;
    std::vector<int> m_widths;
    std::string m_line;
    int64_t m_rows = 0;
};

}  // namespace qv::cli
