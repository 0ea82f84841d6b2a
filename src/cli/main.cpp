// qarvenda-cli: the reference book from a terminal. It reads the database
// through the same core as the window and never writes a database (nor makes the
// data folder's first copy); every search,
// listing, order and export below is the window's own.
#include "cli/Arguments.h"
#include "cli/Places.h"
#include "cli/TextOutput.h"
#include "exchange/Export.h"
#include "lookup/EntryRows.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/DatabaseLocation.h"
#include "store/GbkText.h"
#include "store/TextEncoding.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>
#include <unordered_map>

using namespace qv;
using namespace qv::cli;

namespace {

enum Exit { kFound = 0, kNothing = 1, kError = 2 };

// The digits of a county post office: the shortest postcode prefix looked for.
constexpr size_t kPostcodePrefix = 4;

bool g_chinese = false;
bool g_gbk = false;  // the terminal reads and writes GBK
// Which line of standard input a message is about (0: none).
int64_t g_line = 0;

void say(const Message& m)
{
    std::string line = g_chinese ? "qarvenda-cli：" : "qarvenda-cli: ";
    if (g_line > 0)
        line += g_chinese ? "第 " + std::to_string(g_line) + " 行：" : "line " + std::to_string(g_line) + ": ";
    // What the user typed may hold control characters: they go out as blanks.
    std::string body = m.text(g_chinese);
    for (char& c : body)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            c = ' ';
    line += body + "\n";
    if (g_gbk)
        line = text::utf8ToGbkLossy(line);
    [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
}

int report(const Message& m)
{
    say(m);
    return kError;
}

std::string utf8(std::string_view gbkText)
{
    const QByteArray bytes = gbk::toUtf8(gbkText);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Text from the command line or standard input as UTF-8, read in the
// terminal's encoding; nullopt (with the error reported) when it is not
// valid there.
std::optional<std::string> decodeInput(std::string_view bytes, bool gbkText = g_gbk)
{
    const size_t bad = gbkText ? text::firstBadGbk(bytes) : text::firstBadUtf8(bytes);
    if (bad == text::npos)
        return gbkText ? utf8(bytes) : std::string(bytes);
    // Where it went wrong: the byte's place (from 1) and the bytes there.
    const std::string at = std::to_string(bad + 1);
    const std::string shown = utf8(
        text::hexBytes(bytes.substr(bad, gbkText ? text::badGbkLength(bytes, bad) : text::badUtf8Length(bytes, bad))));
    if (gbkText)
        report({"输入不是有效的 GBK 文本（第 " + at + " 个字节起的 " + shown + "；区域设置是 GBK，终端却可能用了别的编码）。",
                "the input is not valid GBK text (byte " + at + ": " + shown +
                    "; the locale says GBK; the terminal may use another encoding)"});
    else
        report({"输入不是有效的 UTF-8 文本（第 " + at + " 个字节起的 " + shown +
                    "；终端可能用了别的编码，如 GBK：可设 LANG=zh_CN.GBK）。",
                "the input is not valid UTF-8 text (byte " + at + ": " + shown +
                    "; the terminal may use another encoding, such as GBK: set LANG=zh_CN.GBK)"});
    return std::nullopt;
}

// The argument in GBK, as the database holds text; nullopt (with the error
// reported) when some character has no GBK form.
std::optional<std::string> gbkArgument(const std::string& argument)
{
    std::optional<std::string> bytes = gbk::fromUtf8(argument);
    if (!bytes) {
        const std::string bad = utf8(gbk::firstUnencodable(QString::fromUtf8(argument.data(), qsizetype(argument.size()))));
        report({"“" + bad + "”不是GBK字符，数据库中不会有它。",
                "'" + bad + "' has no GBK form, so the database cannot hold it"});
    }
    return bytes;
}

// Loads the database that --db names, else the one the window would use,
// else the bundled one where it lies: nothing is created or copied. False
// (with the error reported) when it is missing, unreadable or damaged.
bool loadDatabase(Database& db, std::string given)
{
    const DatabaseLocation location = locateDatabaseToRead(QFile::decodeName(given.c_str()));
    if (!location.problem.isEmpty()) {
        const std::string file(QFile::encodeName(location.file).constData());
        report({utf8(location.problem), "'" + file + "' does not exist and no bundled database was found"});
        return false;
    }
    const QString path = location.file;
    if (given.empty())
        given = QFile::encodeName(path).toStdString();
    const LoadReport loaded = db.load(path);
    switch (loaded.status) {
    case FileReadResult::Ok:
        return true;
    case FileReadResult::Excess:
        report({"警告：数据库文件“" + given + "”比文件头所说的长，只读入了文件头所说的部分。",
                "warning: database file '" + given + "' holds more than its header announces; only that part was read"});
        return true;
    case FileReadResult::Missing:
        report({"数据库文件“" + given + "”不存在。可用“--db 文件”指定另一个。",
                "database file '" + given + "' does not exist (use --db FILE to name another)"});
        return false;
    case FileReadResult::Unreadable:
    case FileReadResult::Damaged: {
        const std::string detail = utf8(loaded.detail);
        const bool damaged = loaded.status == FileReadResult::Damaged;
        report({std::string("数据库文件“") + given + (damaged ? "”已损坏" : "”无法读取") +
                    (detail.empty() ? std::string() : "：" + detail) + "。",
                "database file '" + given + (damaged ? "' is damaged" : "' cannot be read") +
                    (detail.empty() ? std::string() : ": " + englishReason(detail))});
        return false;
    }
    }
    return false;
}

// Where the rows go: one writer for a whole run, single query or batch.
// Separated cells are GBK (what the database holds, converted on the way
// out when the output is UTF-8); a table and JSON take UTF-8 cells.
class RowsOut {
public:
    RowsOut(Output& out, Layout layout, TableOptions options, bool withInput, bool countOnly)
        : m_gbkCells(layout == Layout::Tabs || layout == Layout::Csv || layout == Layout::Kvrn),
          m_withInput(withInput), m_countOnly(countOnly)
    {
        std::vector<Column> columns;
        if (withInput)
            columns.push_back({caption("输入"), "input"});
        if (countOnly) {
            columns.push_back({caption("地区数"), "places", true});
        } else {
            for (const auto& [zh, key] :
                 {std::pair{"所属", "owner"}, {"地区名称", "name"}, {"区号", "areaCode"}, {"邮编(时差)", "postcode"}})
                columns.push_back({caption(zh), key});
        }
        m_table = std::make_unique<TableWriter>(out, layout, std::move(columns), options);
        m_out = &out;
    }

    // The rows of one query; a batch line without rows still gets its line.
    void places(const std::string& input, const ExportSource& source)
    {
        const std::string in = inputCell(input);
        m_owners.clear();  // the keys are those of one source
        std::string name, area, post;
        auto cell = [&](std::string_view text, std::string& into) -> std::string_view {
            if (m_gbkCells)
                return text;
            into = utf8(text);
            return into;
        };
        bool any = false;
        source.forEach(
            [&](const ExportRow& r) {
                auto it = m_owners.find(r.ownerKey);
                if (it == m_owners.end())
                    it = m_owners.emplace(r.ownerKey, m_gbkCells ? std::string(r.owner) : utf8(r.owner)).first;
                const std::string_view own = it->second;
                const std::string_view n = cell(r.name, name), a = cell(r.areaCode, area), p = cell(r.postcode, post);
                if (m_withInput)
                    m_table->add({in, own, n, a, p});
                else
                    m_table->add({own, n, a, p});
                any = true;
                return !m_out->failed();
            },
            [](int64_t) {});
        if (!any && m_withInput)
            m_table->add({in, {}, {}, {}, {}});
        m_places += any ? 1 : 0;
    }

    void count(const std::string& input, int64_t n)
    {
        const std::string number = std::to_string(n);
        if (m_withInput)
            m_table->add({inputCell(input), number});
        else
            m_table->add({number});
        m_places += n > 0 ? 1 : 0;
    }

    // Directories a search found: the parent's path as the owner, the
    // directory's own path and "/" as the name, no codes.
    void directories(const std::vector<const DirectoryNode*>& nodes)
    {
        for (const DirectoryNode* node : nodes) {
            const std::string parent = node->depth() > 0 ? directoryPath(node->parent) : std::string();
            const std::string path = directoryPath(node) + "/";
            m_table->add({m_gbkCells ? parent : utf8(parent), m_gbkCells ? path : utf8(path), {}, {}});
        }
    }

    // Queries that found something.
    int64_t found() const { return m_places; }
    int64_t rows() const { return m_table->rows(); }
    void finish(bool footer)
    {
        m_table->finish(footer && !m_withInput && !m_countOnly ? "共" + std::to_string(rows()) + "个" : std::string());
    }

private:
    std::string caption(const char* zh) const { return m_gbkCells ? *gbk::fromUtf8(zh) : std::string(zh); }
    std::string inputCell(const std::string& input) const { return m_gbkCells ? text::utf8ToGbkLossy(input) : input; }

    bool m_gbkCells;
    bool m_withInput;
    bool m_countOnly;
    Output* m_out = nullptr;
    std::unique_ptr<TableWriter> m_table;
    std::unordered_map<int64_t, std::string> m_owners;
    int64_t m_places = 0;
};

// The directory tree with the number of live places filed directly in each.
int64_t writeTree(const Database& db, Layout layout, TableOptions options, Output& out)
{
    std::unordered_map<int32_t, int64_t> places;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (const int32_t owner = entryOwner(rec); owner >= 0)
            ++places[owner];
    });
    const bool gbkCells = layout == Layout::Tabs || layout == Layout::Csv;
    TableWriter table(out, layout,
                      {{gbkCells ? *gbk::fromUtf8("目录") : "目录", "path"},
                       {gbkCells ? *gbk::fromUtf8("地区数") : "地区数", "places", true}},
                      options);
    db.tree.forEach([&](const DirectoryNode* node, int depth) {
        // A terminal shows the tree indented; a pipe or JSON gets whole paths
        // that `ls PATH` takes back (GBK between separators, which `out` converts).
        const std::string dir = layout == Layout::Aligned ? std::string(size_t(depth) * 2, ' ') + utf8(node->caption)
                                : gbkCells                ? directoryPath(node)
                                                          : utf8(directoryPath(node));
        const auto it = places.find(node->id);
        table.add({dir, std::to_string(it == places.end() ? 0 : it->second)});
    });
    table.finish();
    return table.rows();
}

// What one query found: its rows, or with --count only how many there are
// when the number needs no rows.
struct Found {
    EntryRowSet set;
    int64_t count = 0;
};

// Looks up one query: what it found, or nullopt when the query was in error
// (reported). Nothing found, with nothing reported, means "no such place".
class Lookup {
public:
    Lookup(const Database& db, const Invocation& inv) : m_db(db), m_inv(inv), m_rows(db) {}

    std::optional<Found> operator()(Command rows, const std::string& text)
    {
        m_count = -1;
        std::optional<EntryRowSet> set;
        switch (rows) {
        case Command::Find:
            set = find(text);
            break;
        case Command::Where:
            set = where(text);
            break;
        case Command::Post:
            set = post(text);
            break;
        case Command::Ls:
            set = ls(text);
            break;
        default:
            return Found();
        }
        if (!set)
            return std::nullopt;
        if (m_inv.sort.column >= 0)
            sortEntryRows(*set, m_inv.sort.column, m_inv.sort.direction, nullptr);
        Found found;
        found.count = m_count >= 0 ? m_count : int64_t(set->rows.size());
        found.set = std::move(*set);
        return found;
    }

private:
    std::optional<EntryRowSet> find(const std::string& text)
    {
        const std::optional<std::string> query = gbkArgument(text);
        if (!query)
            return std::nullopt;
        if (isBlankQuery(*query)) {
            report({"请输入关键字！", "the query is empty"});
            return std::nullopt;
        }
        EntryRowSet set = searchEntries(m_db, *query, m_inv.query);
        if (m_inv.sort.relevance)
            rankEntryRows(m_db, set, *query, m_inv.query);
        else
            sortEntryRows(set, kColumnAreaCode, -1, nullptr);  // as the window shows search results
        return set;
    }

    std::optional<EntryRowSet> where(const std::string& text)
    {
        const ReadNumber number = readNumber(text);
        const std::string zh = "“" + text + "”", en = "'" + text + "'";
        switch (number.kind) {
        case NumberKind::NoDigits:
            report({"号码" + zh + "中没有数字。", "no digits in the number " + en});
            return std::nullopt;
        case NumberKind::Mobile:
            say({zh + "是手机号码，手机号码没有区号。", en + " is a mobile number; mobile numbers have no area code"});
            return EntryRowSet();
        case NumberKind::Service:
            say({zh + "是 400 或 800 服务号码，这类号码没有区号。",
                 en + " is a 400 or 800 service number; such numbers have no area code"});
            return EntryRowSet();
        case NumberKind::ShortService:
            say({zh + "是全国统一的服务号码（如 95588、10086、12345），这类号码没有区号。",
                 en + " is a nationwide service number (such as 95588, 10086, 12345); such numbers have no area code"});
            return EntryRowSet();
        case NumberKind::TooShort:
            say({"号码" + zh + "太短，容不下区号和电话号码。",
                 "the number " + en + " is too short to hold an area code and a subscriber number"});
            return EntryRowSet();
        case NumberKind::Local:
            say({"号码" + zh + "没有区号：区号以 0 开头，或写在 +86 之后。",
                 "the number " + en + " has no area code (area codes begin with 0, or follow +86)"});
            return EntryRowSet();
        case NumberKind::Dialled:
            break;
        }
        if (!m_areas)
            m_areas = std::make_unique<AreaCodeIndex>(m_db.image);
        const int code = m_areas->longestPrefix(number.digits);
        if (code < 0) {
            say({"号码" + zh + "的开头不是任何区号。", "no area code begins the number " + en});
            return EntryRowSet();
        }
        if (m_inv.count) {
            m_count = int64_t(m_areas->count(code));
            return EntryRowSet();
        }
        return m_rows.rows(m_areas->positions(code));  // one area code: image order is the window's order
    }

    std::optional<EntryRowSet> post(const std::string& text)
    {
        // Digits (full-width ones too), with blanks and dashes between them.
        std::string code;
        bool digitsOnly = true;
        for (size_t i = 0; i < text.size() && digitsOnly; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            const unsigned char wide = text.compare(i, 2, "\xEF\xBC") == 0 && i + 2 < text.size()
                                           ? static_cast<unsigned char>(text[i + 2])
                                           : 0;
            if (c >= '0' && c <= '9') {
                code += char(c);
            } else if (wide >= 0x90 && wide <= 0x99) {
                code += char('0' + wide - 0x90);
                i += 2;
            } else {
                digitsOnly = c == ' ' || c == '\t' || c == '-';
            }
        }
        if (code.empty() || !digitsOnly) {
            report({"邮政编码“" + text + "”只能由数字组成。", "the postcode '" + text + "' must be digits"});
            return std::nullopt;
        }
        if (!m_posts)
            m_posts = std::make_unique<PostcodeIndex>(m_db.image);
        const PostcodeIndex::Match match = m_posts->find(code, kPostcodePrefix);
        if (match.codes.empty() && code.size() < kPostcodePrefix) {
            say({"没有邮编为“" + code + "”的地区；按开头查找至少要 4 位数字。",
                 "no place has the postcode '" + code + "'; a prefix to look for takes at least 4 digits"});
            return EntryRowSet();
        }
        if (match.codes.empty()) {
            const std::string first = code.substr(0, kPostcodePrefix);
            if (first == code)
                say({"没有邮编以“" + code + "”开头的地区。", "no place has a postcode beginning with '" + code + "'"});
            else
                say({"没有邮编为“" + code + "”或以“" + first + "”开头的地区。",
                     "no place has the postcode '" + code + "' or one beginning with '" + first + "'"});
            return EntryRowSet();
        }
        if (!match.exact && match.shared == code.size()) {
            say({"没有邮编为“" + code + "”的地区；以下地区的邮编以它开头（前缀匹配）。",
                 "no place has the postcode '" + code + "'; these begin with it (a prefix match)"});
        } else if (!match.exact) {
            const std::string prefix = code.substr(0, match.shared), n = std::to_string(match.shared);
            say({"没有邮编为“" + code + "”的地区；以下地区的邮编与它的前 " + n + " 位“" + prefix +
                     "”相同（前缀匹配）。",
                 "no place has the postcode '" + code + "'; these share its first " + n + " digits '" + prefix +
                     "' (a prefix match)"});
        }
        if (m_inv.count) {
            m_count = int64_t(m_posts->count(match));
            return EntryRowSet();
        }
        EntryRowSet set = m_rows.rows(m_posts->positions(match));
        sortEntryRows(set, kColumnAreaCode, -1, nullptr);  // as search results
        return set;
    }

    std::optional<EntryRowSet> ls(const std::string& text)
    {
        const std::optional<std::string> path = gbkArgument(text);
        if (!path)
            return std::nullopt;
        const DirectoryNode* node = findDirectory(m_db.tree, *path);
        if (!node) {
            // A directory's own name, when only one directory has it.
            const std::vector<const DirectoryNode*> named = directoriesNamed(m_db.tree, *path);
            if (named.size() > 1) {
                std::string paths;
                for (const DirectoryNode* n : named)
                    paths += "\n  " + utf8(directoryPath(n));
                report({"有 " + std::to_string(named.size()) + " 个目录叫“" + text + "”，请给出完整的路径：" + paths,
                        std::to_string(named.size()) + " directories are called '" + text +
                            "'; give the whole path:" + paths});
                return std::nullopt;
            }
            if (named.empty()) {
                report({"没有目录“" + text + "”。用不带参数的“ls”查看目录树。",
                        "no directory '" + text + "' (plain 'ls' shows the tree)"});
                return std::nullopt;
            }
            node = named.front();
        }
        EntryRowSet set = listDirectory(m_db.image, node->id, node->caption);
        sortEntryRows(set, kColumnAreaCode, +1, nullptr);  // as the window lists a directory
        return set;
    }

    const Database& m_db;
    const Invocation& m_inv;
    RowMaker m_rows;
    std::unique_ptr<AreaCodeIndex> m_areas;
    std::unique_ptr<PostcodeIndex> m_posts;
    int64_t m_count = -1;  // set when the rows were not made
};

// Lines of standard input, read as they come; a line longer than a
// megabyte is cut there (the rest of it is dropped). A UTF-8 byte-order mark
// at the start, as Windows editors write, is no part of the first line.
class LineReader {
public:
    bool next(std::string& line)
    {
        for (;;) {
            // Decided once three bytes are in, or fewer that cannot begin one.
            if (!m_markChecked &&
                (m_eof || m_buffer.size() >= kMark.size() || kMark.compare(0, m_buffer.size(), m_buffer) != 0)) {
                m_markChecked = true;
                m_marked = m_buffer.compare(0, kMark.size(), kMark) == 0;
                m_from = m_marked ? kMark.size() : 0;
            }
            const size_t nl = m_markChecked ? m_buffer.find('\n', m_from) : std::string::npos;
            if (nl != std::string::npos || (m_markChecked && m_eof && m_from < m_buffer.size())) {
                const size_t end = nl == std::string::npos ? m_buffer.size() : nl;
                line.assign(m_buffer, m_from, end - m_from);
                m_from = nl == std::string::npos ? m_buffer.size() : nl + 1;
                if (m_skipping) {
                    m_skipping = false;
                    continue;
                }
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return true;
            }
            if (m_eof)
                return false;
            m_buffer.erase(0, m_from);
            m_from = 0;
            if (m_buffer.size() > kLongest) {
                const bool first = !m_skipping;
                line = m_buffer.substr(0, kLongest);
                m_buffer.clear();
                m_skipping = true;
                if (first)
                    return true;
            }
            char chunk[65536];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n > 0)
                m_buffer.append(chunk, size_t(n));
            else if (n == 0 || errno != EINTR)
                m_eof = true;
        }
    }

    // The input began with a byte-order mark: it is UTF-8, whatever the locale.
    bool marked() const { return m_marked; }

private:
    static constexpr size_t kLongest = 1 << 20;
    static constexpr std::string_view kMark = "\xEF\xBB\xBF";
    bool m_markChecked = false;
    bool m_marked = false;
    std::string m_buffer;
    size_t m_from = 0;
    bool m_eof = false;
    bool m_skipping = false;
};

bool blankLine(std::string_view line) { return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos; }

}  // namespace

int main(int argc, char** argv)
{
    g_chinese = chineseLocale();
    g_gbk = gbkLocale();
    const ParseResult parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok())
        return report(parsed.error);
    const Invocation& inv = parsed.invocation;
    if (inv.help || inv.version) {
        Output out(STDOUT_FILENO, g_gbk && inv.help ? Conversion::Utf8ToGbk : Conversion::None);
        out.write(inv.help ? usageText(g_chinese) : std::string("qarvenda-cli " QV_VERSION "\n"));
        return out.flush() ? kFound : kError;
    }

    // A single query is checked before the file is read.
    const Command rowsOf = inv.command == Command::Export ? inv.listing : inv.command;
    std::string argument;
    if (inv.hasArgument && !inv.batch) {
        const std::optional<std::string> text = decodeInput(inv.argument);
        if (!text)
            return kError;
        argument = *text;
        if (rowsOf == Command::Find || rowsOf == Command::Ls) {
            const std::optional<std::string> bytes = gbkArgument(argument);
            if (!bytes)
                return kError;
            if (rowsOf == Command::Find && isBlankQuery(*bytes))
                return report({"请输入关键字！", "the query is empty"});
        } else if (rowsOf == Command::Where && readNumber(argument).kind == NumberKind::NoDigits) {
            return report({"号码“" + argument + "”中没有数字。", "no digits in the number '" + argument + "'"});
        }
    }

    Database db;
    if (!loadDatabase(db, inv.database))
        return kError;

    if (inv.command == Command::CompleteLs) {
        // For the shell: one a line in the terminal's encoding, nothing else.
        // A name that holds a line break cannot be offered so.
        const std::optional<std::string> prefix = gbk::fromUtf8(argument);
        Output out(STDOUT_FILENO, g_gbk ? Conversion::None : Conversion::GbkToUtf8);
        int64_t offered = 0;
        for (const std::string& word : prefix ? directoryCompletions(db.tree, *prefix) : std::vector<std::string>())
            if (word.find('\n') == std::string::npos) {
                out.write(word + "\n");
                ++offered;
            }
        return !out.flush() ? kError : offered > 0 ? kFound : kNothing;
    }

    // Aligned columns for a person at a terminal, tab-separated lines for a pipe.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    const Format format = inv.format != Format::Auto       ? inv.format
                          : inv.command == Command::Export ? Format::Csv
                          : terminal                       ? Format::Table
                                                           : Format::Tsv;
    const Layout layout = format == Format::Table  ? Layout::Aligned
                          : format == Format::Tsv  ? Layout::Tabs
                          : format == Format::Csv  ? Layout::Csv
                          : format == Format::Kvrn ? Layout::Kvrn
                          : format == Format::Json ? Layout::Json
                                                   : Layout::Jsonl;
    const bool json = layout == Layout::Json || layout == Layout::Jsonl;
    const bool gbkCells = layout == Layout::Tabs || layout == Layout::Csv || layout == Layout::Kvrn;
    const bool gbkOut = !json && (inv.encodingGiven ? inv.encoding == Encoding::Gbk : g_gbk);
    Output out(STDOUT_FILENO, gbkCells && !gbkOut   ? Conversion::GbkToUtf8
                              : !gbkCells && gbkOut ? Conversion::Utf8ToGbk
                                                    : Conversion::None);
    TableOptions options;
    options.blankControls = terminal;
    options.captionLine = inv.header;

    const bool wholeTree = rowsOf == Command::Ls && inv.argument.find_first_not_of('/') == std::string::npos;
    int64_t found = 0;
    if (wholeTree) {
        found = writeTree(db, layout, options, out);
    } else if (inv.all) {
        RowsOut rows(out, layout, options, false, false);
        rows.places({}, ExportSource::allRecords(db.image));
        rows.finish(false);
        found = rows.rows();
    } else {
        Lookup lookup(db, inv);
        RowsOut rows(out, layout, options, inv.batch, inv.count);
        if (!inv.batch) {
            const std::optional<Found> hit = lookup(rowsOf, argument);
            if (!hit)
                return kError;
            found = hit->count;
            if (inv.count) {
                out.write(std::to_string(found) + "\n");
            } else {
                // find alone: an export writes places only.
                if (inv.command == Command::Find && layout != Layout::Kvrn) {
                    const std::vector<const DirectoryNode*> dirs =
                        searchDirectories(db, *gbkArgument(argument), inv.query);
                    rows.directories(dirs);
                    found += int64_t(dirs.size());
                }
                rows.places(argument, ExportSource::currentList(hit->set));
                rows.finish(inv.command != Command::Export);
            }
        } else {
            // One query a line; blank lines are passed over.
            const bool interactive = ::isatty(STDIN_FILENO) == 1;
            const EntryRowSet none;
            LineReader reader;
            std::string line;
            while (!out.failed() && reader.next(line)) {
                ++g_line;
                if (blankLine(line))
                    continue;
                const std::optional<std::string> text = decodeInput(line, g_gbk && !reader.marked());
                const std::optional<Found> hit = text ? lookup(rowsOf, *text) : std::nullopt;
                const std::string shown = text ? *text : utf8(QString::fromUtf8(line.data(), qsizetype(line.size())));
                if (inv.count)
                    rows.count(shown, hit ? hit->count : 0);
                else
                    rows.places(shown, ExportSource::currentList(hit ? hit->set : none));
                if (interactive && layout != Layout::Aligned && layout != Layout::Json)
                    out.flush();
            }
            g_line = 0;
            rows.finish(false);
            found = rows.found();
        }
    }
    if (!out.flush()) {
        const int err = out.error();
        return report({"无法写出结果：" + utf8(describeFileError(err)), std::string("cannot write the output: ") +
                                                                         std::strerror(err)});
    }
    return found > 0 ? kFound : kNothing;
}
