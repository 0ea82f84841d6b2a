// qarvenda-cli: the reference book from a terminal. It reads the database
// through the same core as the window and never writes it; every search,
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

#include <QFile>

#include <cstring>
#include <optional>
#include <unistd.h>
#include <unordered_map>

using namespace qv;
using namespace qv::cli;

namespace {

enum Exit { kFound = 0, kNothing = 1, kError = 2 };

bool g_chinese = false;

int report(const Message& m)
{
    const std::string line = (g_chinese ? "qarvenda-cli：" : "qarvenda-cli: ") + m.text(g_chinese) + "\n";
    [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
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

// Loads the database that --db names, else the one the window would use;
// false (with the error reported) when it is missing, unreadable or damaged.
bool loadDatabase(Database& db, std::string given)
{
    const DatabaseLocation location = locateDatabase(QFile::decodeName(given.c_str()));
    if (!location.problem.isEmpty())
        report({utf8(location.problem),
                "cannot copy the bundled database to " + std::string(QFile::encodeName(location.folder).constData())});
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
        // The reason, as the reader words it (in Chinese).
        const QString& detail = loaded.detail;
        const bool damaged = loaded.status == FileReadResult::Damaged;
        report({std::string("数据库文件“") + given + (damaged ? "”已损坏" : "”无法读取") +
                    (detail.isEmpty() ? std::string() : "：" + utf8(detail)) + "。",
                "database file '" + given + (damaged ? "' is damaged" : "' cannot be read")});
        return false;
    }
    }
    return false;
}

// Writes the rows of `source` as the list shows them: 所属, 地区名称, 区号,
// 邮编(时差). Tab-separated cells go out as the GBK bytes they are (`out`
// converts them when it should); an aligned table and JSON need UTF-8 cells.
// Returns the number of rows.
int64_t writeRows(const ExportSource& source, Layout layout, Output& out, bool countFooter)
{
    TableWriter table(out, layout,
                      {{"所属", "owner"}, {"地区名称", "name"}, {"区号", "areaCode"}, {"邮编(时差)", "postcode"}});
    const bool convert = layout != Layout::Tabs;
    // Rows share a few directory names: each is converted once.
    std::unordered_map<int64_t, std::string> owners;
    std::string name, area, post;
    auto cell = [&](std::string_view text, std::string& into) -> std::string_view {
        if (!convert)
            return text;
        into = utf8(text);
        return into;
    };
    source.forEach(
        [&](const ExportRow& r) {
            auto it = owners.find(r.ownerKey);
            if (it == owners.end())
                it = owners.emplace(r.ownerKey, convert ? utf8(r.owner) : std::string(r.owner)).first;
            table.add({it->second, cell(r.name, name), cell(r.areaCode, area), cell(r.postcode, post)});
            return !out.failed();
        },
        [](int64_t) {});
    table.finish(countFooter ? "共" + std::to_string(table.rows()) + "个" : std::string());
    return table.rows();
}

// The directory tree with the number of live places filed directly in each.
int64_t writeTree(const Database& db, Layout layout, Output& out)
{
    std::unordered_map<int32_t, int64_t> places;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (const int32_t owner = entryOwner(rec); owner >= 0)
            ++places[owner];
    });
    TableWriter table(out, layout, {{"目录", "path"}, {"地区数", "places", true}});
    db.tree.forEach([&](const DirectoryNode* node, int depth) {
        // A terminal shows the tree indented; a pipe or JSON gets whole paths
        // that `ls PATH` takes back (GBK in a pipe, which `out` converts).
        const std::string dir = layout == Layout::Aligned ? std::string(size_t(depth) * 2, ' ') + utf8(node->caption)
                                : layout == Layout::Json  ? utf8(directoryPath(node))
                                                          : directoryPath(node);
        const auto it = places.find(node->id);
        table.add({dir, std::to_string(it == places.end() ? 0 : it->second)});
    });
    table.finish();
    return table.rows();
}

}  // namespace

int main(int argc, char** argv)
{
    g_chinese = chineseLocale();
    const ParseResult parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok())
        return report(parsed.error);
    const Invocation& inv = parsed.invocation;
    if (inv.help || inv.version) {
        Output out(STDOUT_FILENO);
        out.write(inv.help ? usageText(g_chinese) : std::string("qarvenda-cli " QV_VERSION "\n"));
        return out.flush() ? kFound : kError;
    }

    // Arguments are checked before the file is read.
    const Command rowsOf = inv.command == Command::Export ? inv.listing : inv.command;
    std::string argument;  // GBK query or path; the digits of a number
    if (rowsOf == Command::Find || (rowsOf == Command::Ls && inv.hasArgument)) {
        const std::optional<std::string> bytes = gbkArgument(inv.argument);
        if (!bytes)
            return kError;
        argument = *bytes;
        if (rowsOf == Command::Find && isBlankQuery(argument))
            return report({"请输入关键字！", "the query is empty"});
    } else if (rowsOf == Command::Where) {
        argument = dialDigits(inv.argument);
        if (argument.empty())
            return report({"号码“" + inv.argument + "”中没有数字。", "no digits in the number '" + inv.argument + "'"});
    }

    Database db;
    if (!loadDatabase(db, inv.database))
        return kError;

    // Aligned columns for a person at a terminal, tab-separated lines for a pipe.
    const bool aligned = inv.format == Format::Table || (inv.format == Format::Auto && ::isatty(STDOUT_FILENO) == 1);
    const Layout layout = inv.command == Command::Export ? (inv.format == Format::Json ? Layout::Json : Layout::Tabs)
                          : inv.format == Format::Json ? Layout::Json
                          : aligned                    ? Layout::Aligned
                                                       : Layout::Tabs;
    // Comma- and tab-separated text is written in GBK and converted on its way out.
    Output out(STDOUT_FILENO, layout == Layout::Tabs && inv.encoding == Encoding::Utf8);

    EntryRowSet list;
    const bool wholeTree = rowsOf == Command::Ls && argument.find_first_not_of('/') == std::string::npos;
    switch (rowsOf) {
    case Command::Find:
        list = searchEntries(db, argument, inv.query);
        sortEntryRows(list, kColumnAreaCode, -1, nullptr);  // as the window shows search results
        break;
    case Command::Where:
        list = placesForNumber(db, argument);
        sortEntryRows(list, kColumnAreaCode, -1, nullptr);
        break;
    case Command::Ls:
        if (!wholeTree) {
            const DirectoryNode* node = findDirectory(db.tree, argument);
            if (!node)
                return report({"没有目录“" + inv.argument + "”。用不带参数的“ls”查看目录树。",
                               "no directory '" + inv.argument + "' (plain 'ls' shows the tree)"});
            list = listDirectory(db.image, node->id, node->caption);
            sortEntryRows(list, kColumnAreaCode, +1, nullptr);  // as the window lists a directory
        }
        break;
    default:
        break;
    }

    int64_t rows = 0;
    if (inv.command == Command::Export) {
        const ExportSource source = inv.all ? ExportSource::allRecords(db.image) : ExportSource::currentList(list);
        if (inv.format == Format::Csv) {
            // The window's text export, byte for byte (then converted for UTF-8).
            OutputDevice device(out);
            rows = writeText(source, device).rows;
        } else {
            rows = writeRows(source, layout, out, false);
        }
    } else if (wholeTree) {
        rows = writeTree(db, layout, out);
    } else {
        rows = writeRows(ExportSource::currentList(list), layout, out, layout == Layout::Aligned);
    }
    if (!out.flush()) {
        const int err = out.error();
        return report({"无法写出结果：" + utf8(describeFileError(err)), std::string("cannot write the output: ") +
                                                                         std::strerror(err)});
    }
    return rows > 0 ? kFound : kNothing;
}
