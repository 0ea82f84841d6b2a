#include "cli/TextOutput.h"

#include "exchange/Export.h"
#include "store/GbkText.h"
#include "store/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace qv::cli {

namespace {

// Decodes one UTF-8 sequence at s[i]; a malformed byte comes back as itself
// with length 1.
uint32_t nextCodePoint(std::string_view s, size_t& i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + size_t(len) > s.size()) {
        ++i;
        return c;
    }
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = cp << 6 | (t & 0x3F);
    }
    i += size_t(len);
    return cp;
}

int codePointWidth(uint32_t cp)
{
    if ((cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0xFE00 && cp <= 0xFE0F))
        return 0;
    const bool wide =
        (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) || (cp >= 0x3041 && cp <= 0x33FF) ||
        (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
        (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
        (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    return wide ? 2 : 1;
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

void appendClean(std::string& out, std::string_view cell)
{
    const size_t from = out.size();
    out.append(cell);
    for (size_t i = from; i < out.size(); ++i)
        if (isControl(out[i]))
            out[i] = ' ';
}

void appendCell(std::string& out, std::string_view cell, bool blankControls)
{
    if (blankControls)
        appendClean(out, cell);
    else
        out.append(cell);
}

// A comma, a quote, CR and LF are ASCII and never the second byte of a GBK
// character, so the test holds for GBK cells as well.
void appendCsv(std::string& out, std::string_view cell, bool blankControls)
{
    const size_t from = out.size();
    appendCell(out, cell, blankControls);
    if (out.find_first_of(",\"\r\n", from) == std::string::npos)
        return;
    std::string quoted = "\"";
    for (size_t i = from; i < out.size(); ++i) {
        quoted += out[i];
        if (out[i] == '"')
            quoted += '"';
    }
    quoted += '"';
    out.replace(from, std::string::npos, quoted);
}

void appendJsonString(std::string& out, std::string_view s)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n' || c == '\t' || c == '\r') {
            out += '\\';
            out += c == '\n' ? 'n' : c == '\t' ? 't' : 'r';
        } else if (u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

int displayWidth(std::string_view utf8)
{
    int width = 0;
    for (size_t i = 0; i < utf8.size();)
        width += codePointWidth(nextCodePoint(utf8, i));
    return width;
}

void Output::pass(bool all)
{
    if (m_conversion == Conversion::None) {
        put(m_buffer);
        m_buffer.clear();
        return;
    }
    // No byte of a two-byte GBK character, nor of a UTF-8 sequence, is a
    // line feed, so whole lines convert the same as the whole text would.
    const size_t end = all ? m_buffer.size() : m_buffer.rfind('\n') + 1;
    if (end == 0)
        return;
    const std::string_view piece = std::string_view(m_buffer).substr(0, end);
    if (m_conversion == Conversion::GbkToUtf8) {
        const QByteArray utf8 = gbk::toUtf8(piece);
        put(std::string_view(utf8.constData(), size_t(utf8.size())));
    } else {
        put(text::utf8ToGbkLossy(piece));
    }
    m_buffer.erase(0, end);
}

void Output::put(std::string_view bytes)
{
    if (m_fd < 0) {
        m_written.append(bytes);
        return;
    }
    size_t done = 0;
    while (!failed() && done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno != EINTR)
            m_errno = errno;
    }
}

TableWriter::TableWriter(Output& out, Layout layout, std::vector<Column> columns, TableOptions options)
    : m_out(out), m_layout(layout), m_columns(std::move(columns)), m_options(options)
{
    for (const Column& c : m_columns)
        m_widths.push_back(displayWidth(c.caption));
    if (m_options.captionLine && (m_layout == Layout::Tabs || m_layout == Layout::Csv)) {
        std::vector<std::string_view> captions;
        for (const Column& c : m_columns)
            captions.push_back(c.caption);
        add(captions.data());
        m_rows = 0;
    }
}

void TableWriter::add(const std::string_view* cells)
{
    const size_t n = m_columns.size();
    m_line.clear();
    switch (m_layout) {
    case Layout::Aligned:
        for (size_t c = 0; c < n; ++c) {
            const size_t from = m_text.size();
            appendClean(m_text, cells[c]);
            const int width = displayWidth(std::string_view(m_text).substr(from));
            m_ends.push_back(m_text.size());
            m_cellWidths.push_back(uint16_t(std::min(width, 0xFFFF)));
            m_widths[c] = std::max(m_widths[c], width);
        }
        ++m_rows;
        return;
    case Layout::Tabs:
        for (size_t c = 0; c < n; ++c) {
            if (c)
                m_line += '\t';
            appendClean(m_line, cells[c]);
        }
        m_line += '\n';
        break;
    case Layout::Csv:
        for (size_t c = 0; c < n; ++c) {
            if (c)
                m_line += ',';
            appendCsv(m_line, cells[c], m_options.blankControls);
        }
        m_line += "\r\n";
        break;
    case Layout::Kvrn:
        for (size_t c = 0; c < n; ++c) {
            std::string cell;
            appendCell(cell, cells[c], m_options.blankControls);
            if (c + 1 < n)
                appendTextLineField(m_line, cell);
            else
                m_line += cell;
        }
        m_line += "\r\n";
        break;
    case Layout::Json:
    case Layout::Jsonl:
        m_line += m_layout == Layout::Jsonl ? "{" : m_rows ? ",\n{" : "[\n{";
        for (size_t c = 0; c < n; ++c) {
            if (c)
                m_line += ',';
            appendJsonString(m_line, m_columns[c].key);
            m_line += ':';
            if (m_columns[c].number)
                m_line += cells[c].empty() ? std::string_view("null") : cells[c];
            else
                appendJsonString(m_line, cells[c]);
        }
        m_line += m_layout == Layout::Jsonl ? "}\n" : "}";
        break;
    }
    m_out.write(m_line);
    ++m_rows;
}

void TableWriter::finish(std::string_view footer)
{
    if (m_layout == Layout::Json) {
        m_out.write(m_rows ? "\n]\n" : "[]\n");
        return;
    }
    if (m_layout != Layout::Aligned || m_rows == 0)
        return;
    const size_t n = m_columns.size();
    // Two blanks between columns; nothing after the last cell with text.
    auto writeRow = [&](auto cellAt) {
        size_t last = n;
        while (last > 0 && cellAt(last - 1).first.empty())
            --last;
        m_line.clear();
        for (size_t c = 0; c < last; ++c) {
            const auto [cell, width] = cellAt(c);
            const size_t pad = size_t(std::max(0, m_widths[c] - width));
            if (m_columns[c].number)
                m_line.append(pad, ' ');
            m_line += cell;
            if (c + 1 < last)
                m_line.append((m_columns[c].number ? 0 : pad) + 2, ' ');
        }
        m_line += '\n';
        m_out.write(m_line);
    };
    writeRow([&](size_t c) {
        return std::pair<std::string_view, int>(m_columns[c].caption, displayWidth(m_columns[c].caption));
    });
    for (size_t first = 0; first < m_ends.size(); first += n)
        writeRow([&](size_t c) {
            const size_t i = first + c;
            const size_t begin = i == 0 ? 0 : m_ends[i - 1];
            return std::pair<std::string_view, int>(std::string_view(m_text).substr(begin, m_ends[i] - begin),
                                                    m_cellWidths[i]);
        });
    if (!footer.empty()) {
        m_out.write(footer);
        m_out.write("\n");
    }
}

}  // namespace qv::cli
