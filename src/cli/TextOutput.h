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
// written in large pieces. With `fromGbk` what is written is GBK text and
// goes out as UTF-8, converted a piece at a time: one conversion for many
// rows costs far less than one per cell. A failed write is remembered, not thrown.
class Output {
public:
    explicit Output(int fd, bool fromGbk = false) : m_fd(fd), m_fromGbk(fromGbk) {}
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
    bool m_fromGbk;
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
