#pragma once
// What qarvenda-cli prints: rows as columns aligned by display width for a
// terminal, tab-separated lines for a pipe, or JSON; and the byte sink they
// go to.
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

// Bytes for standard output (or, with fd -1, kept in text() for tests),
// written in large pieces. A failed write is remembered, not thrown.
class Output {
public:
    explicit Output(int fd) : m_fd(fd) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(std::string_view bytes)
    {
        m_buffer.append(bytes);
        if (m_fd >= 0 && m_buffer.size() >= kPiece)
            flush();
    }
    bool flush();
    bool failed() const { return m_errno != 0; }
    int error() const { return m_errno; }
    const std::string& text() const { return m_buffer; }

private:
    static constexpr size_t kPiece = 1 << 20;
    int m_fd;
    int m_errno = 0;
    std::string m_buffer;
};

// A write-only device over an Output, for writers that take a QIODevice; with
// `toUtf8` the GBK text written is passed on as UTF-8, a line at a time.
class OutputDevice : public QIODevice {
public:
    OutputDevice(Output& out, bool toUtf8);
    // Passes on what is left of the last line.
    void finish();

protected:
    qint64 writeData(const char* data, qint64 size) override;
    qint64 readData(char*, qint64) override { return -1; }

private:
    Output& m_out;
    bool m_toUtf8;
    std::string m_pending;
};

enum class Layout { Aligned, Tabs, Json };

struct Column {
    std::string caption;  // header of an aligned table
    std::string key;      // name in a JSON object
    bool number = false;  // a JSON number rather than a string
};

// Writes rows of cells in one layout. Tab-separated and JSON rows go out as
// they come; an aligned table is held until finish() knows the widths.
// Cells are UTF-8 (tab-separated cells may be any ASCII-compatible bytes);
// control characters in a cell become blanks, except in JSON, which escapes them.
class TableWriter {
public:
    TableWriter(Output& out, Layout layout, std::vector<Column> columns);
    void add(const std::string_view* cells);  // one cell per column
    void add(std::initializer_list<std::string_view> cells) { add(cells.begin()); }
    int64_t rows() const { return m_rows; }
    // Ends the output; an aligned table with rows gets `footer` on a line of its own.
    void finish(std::string_view footer = {});

private:
    Output& m_out;
    Layout m_layout;
    std::vector<Column> m_columns;
    std::vector<std::string> m_cells;  // aligned: every cell, row after row
    std::string m_line;
    int64_t m_rows = 0;
};

}  // namespace qv::cli
