#include "cli/Arguments.h"

#include <cstdlib>
#include <map>

namespace qv::cli {

namespace {

const char* commandName(Command c)
{
    switch (c) {
    case Command::Find:
        return "find";
    case Command::Where:
        return "where";
    case Command::Ls:
        return "ls";
    case Command::Export:
        return "export";
    case Command::None:
        break;
    }
    return "";
}

Command commandNamed(std::string_view name)
{
    if (name == "find")
        return Command::Find;
    if (name == "where")
        return Command::Where;
    if (name == "ls")
        return Command::Ls;
    if (name == "export")
        return Command::Export;
    return Command::None;
}

Message fail(std::string zh, std::string en) { return Message{std::move(zh), std::move(en)}; }

std::string quotedZh(std::string_view s) { return "“" + std::string(s) + "”"; }
std::string quotedEn(std::string_view s) { return "'" + std::string(s) + "'"; }

bool setFields(std::string_view list, QueryOptions& q)
{
    q.byName = q.byInitials = q.byPostcode = q.byAreaCode = false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string_view::npos)
            comma = list.size();
        const std::string_view f = list.substr(start, comma - start);
        if (f == "name")
            q.byName = true;
        else if (f == "initials")
            q.byInitials = true;
        else if (f == "postcode")
            q.byPostcode = true;
        else if (f == "areacode")
            q.byAreaCode = true;
        else
            return false;
        start = comma + 1;
    }
    return true;
}

}  // namespace

bool chineseLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::string_view(value).substr(0, 2) == "zh";
    }
    return false;
}

ParseResult parseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Invocation& inv = result.invocation;
    std::vector<std::string> positional;
    // Options given, by their canonical name, for the check against the command.
    std::map<std::string, bool> given;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            positional.insert(positional.end(), args.begin() + long(i) + 1, args.end());
            break;
        }
        // A time difference such as -3 is a query, not an option.
        if (arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            positional.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (name == "-h" || name == "--help") {
            inv.help = true;
            return result;
        }
        const bool flag = name == "--exact" || name == "--all" || name == "--version";
        const bool takesValue = name == "--db" || name == "--format" || name == "--encoding" || name == "--fields";
        if (!flag && !takesValue) {
            result.error = fail("未知的选项" + quotedZh(arg) + "。用“qarvenda-cli --help”查看用法。",
                                "unknown option " + quotedEn(arg) + "; see 'qarvenda-cli --help'");
            return result;
        }
        if (flag && hasValue) {
            result.error = fail("选项" + quotedZh(name) + "不带值。", "option " + quotedEn(name) + " takes no value");
            return result;
        }
        if (takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                result.error =
                    fail("选项" + quotedZh(name) + "需要一个值。", "option " + quotedEn(name) + " needs a value");
                return result;
            }
            value = args[++i];
        }
        given[name] = true;
        if (name == "--version") {
            inv.version = true;
        } else if (name == "--exact") {
            inv.query.exact = true;
            inv.query.fuzzy = false;
        } else if (name == "--all") {
            inv.all = true;
        } else if (name == "--db") {
            inv.database = value;
        } else if (name == "--fields") {
            if (!setFields(value, inv.query)) {
                result.error = fail("选项“--fields”的值" + quotedZh(value) +
                                        "无效：可用 name、initials、postcode、areacode，以逗号分隔。",
                                    "invalid value " + quotedEn(value) +
                                        " for '--fields' (a comma-separated list of name, initials, postcode, areacode)");
                return result;
            }
        } else if (name == "--encoding") {
            if (value == "utf-8" || value == "utf8" || value == "UTF-8")
                inv.encoding = Encoding::Utf8;
            else if (value == "gbk" || value == "GBK")
                inv.encoding = Encoding::Gbk;
            else {
                result.error = fail("选项“--encoding”的值" + quotedZh(value) + "无效：可用 utf-8 或 gbk。",
                                    "invalid value " + quotedEn(value) + " for '--encoding' (utf-8 or gbk)");
                return result;
            }
        } else if (name == "--format") {
            static const std::map<std::string, Format> formats = {
                {"table", Format::Table}, {"tsv", Format::Tsv}, {"json", Format::Json}, {"csv", Format::Csv}};
            auto it = formats.find(value);
            if (it == formats.end()) {
                result.error = fail("选项“--format”的值" + quotedZh(value) + "无效：可用 table、tsv、json、csv。",
                                    "invalid value " + quotedEn(value) + " for '--format' (table, tsv, json, csv)");
                return result;
            }
            inv.format = it->second;
        }
    }
    if (inv.version)
        return result;

    if (positional.empty()) {
        result.error = fail("缺少命令。用“qarvenda-cli --help”查看用法。", "no command given; see 'qarvenda-cli --help'");
        return result;
    }
    size_t next = 0;
    inv.command = commandNamed(positional[next]);
    if (inv.command == Command::None) {
        result.error = fail("未知的命令" + quotedZh(positional[next]) + "。可用的命令：find、where、ls、export。",
                            "unknown command " + quotedEn(positional[next]) + " (find, where, ls, export)");
        return result;
    }
    ++next;
    Command rows = inv.command;  // the command that picks the rows
    if (inv.command == Command::Export) {
        if (next < positional.size()) {
            inv.listing = commandNamed(positional[next]);
            if (inv.listing == Command::None || inv.listing == Command::Export) {
                result.error = fail("“export”后面只能跟 find、where 或 ls，不能跟" + quotedZh(positional[next]) + "。",
                                    "'export' takes find, where or ls, not " + quotedEn(positional[next]));
                return result;
            }
            ++next;
        }
        if (inv.all == (inv.listing != Command::None)) {
            result.error = inv.all ? fail("“--all”导出所有纪录，不能再跟 find、where 或 ls。",
                                          "'--all' exports every record and takes no find, where or ls")
                                   : fail("“export”要导出什么？请给出 --all，或者 find、where、ls 之一。",
                                          "'export' needs --all, or one of find, where, ls");
            return result;
        }
        rows = inv.listing;
    }

    // Which options each command takes.
    const std::string cmd = commandName(inv.command);
    auto refuse = [&](const char* option) {
        result.error = fail("选项" + quotedZh(option) + "不能用于“" + cmd + "”。",
                            "option " + quotedEn(option) + " does not apply to '" + cmd + "'");
    };
    if ((given.count("--exact") || given.count("--fields")) && rows != Command::Find) {
        refuse(given.count("--exact") ? "--exact" : "--fields");
        return result;
    }
    if ((given.count("--all") || given.count("--encoding")) && inv.command != Command::Export) {
        refuse(given.count("--all") ? "--all" : "--encoding");
        return result;
    }
    if (inv.command == Command::Export) {
        if (inv.format == Format::Auto)
            inv.format = Format::Csv;
        if (inv.format == Format::Table) {
            refuse("--format table");
            return result;
        }
        if (inv.format == Format::Json && inv.encoding == Encoding::Gbk) {
            result.error = fail("JSON 只能用 UTF-8 编码，不能与“--encoding gbk”同用。",
                                "JSON is always UTF-8; it cannot be combined with '--encoding gbk'");
            return result;
        }
    } else if (inv.format == Format::Csv) {
        refuse("--format csv");
        return result;
    }

    // The arguments of the command that picks the rows.
    const size_t left = positional.size() - next;
    const std::string rowsName = commandName(rows);
    if (rows == Command::Find || rows == Command::Where) {
        if (left == 0) {
            result.error = rows == Command::Find
                               ? fail("“find”需要一个查询词。", "'find' needs a query")
                               : fail("“where”需要一个电话号码。", "'where' needs a telephone number");
            return result;
        }
    }
    if (inv.command == Command::Export && rows == Command::Ls && left == 0) {
        result.error = fail("“export ls”需要一个目录路径，如“广东省/深圳市”。", "'export ls' needs a directory path");
        return result;
    }
    if ((rows == Command::Find && left > 1) || (rows == Command::Ls && left > 1) ||
        (rows == Command::None && left > 0)) {
        const std::string& extra = positional[positional.size() - 1];
        result.error = fail("多余的参数" + quotedZh(extra) + "。" +
                                (rows == Command::Find ? "含空格的查询词请加引号。" : ""),
                            "unexpected argument " + quotedEn(extra) +
                                (rows == Command::Find ? " (quote a query that holds blanks)" : ""));
        return result;
    }
    // A number may come in several words: "where 0755 8888 8888".
    for (size_t i = next; i < positional.size(); ++i) {
        if (i > next)
            inv.argument += ' ';
        inv.argument += positional[i];
    }
    inv.hasArgument = left > 0;
    return result;
}

std::string usageText(bool chinese)
{
    if (chinese)
        return R"(用法：qarvenda-cli [--db 文件] 命令 [选项] [参数]

在终端里查阅地名录：读取数据库文件（与窗口相同：当前文件夹中的 kvrn.dat，
没有时用数据文件夹 ~/.local/share/qarvenda 中的），从不写入。

命令：
  find [--exact] [--fields 字段,...] 查询词
        按地区名称、地区拼音、邮政编码、电话区号查找，与窗口的“查找”相同：
        默认模糊查询、四个字段全查；结果按区号从大到小排列。
        --exact            精确查询
        --fields 字段,...  只查这些字段：name、initials、postcode、areacode
  where 电话号码
        找出区号是该号码最长前缀的地区。号码可按习惯书写，如“0755-8888 8888”、
        “+86 10 6512 3456”：只取其中的数字，开头的 +86 或 0086 换成 0，
        其余的 + 换成 00。
  ls [路径]
        不给路径时列出目录树和各目录的地区数；给出路径（如“广东省/深圳市”）时
        列出该目录的地区，按区号从小到大排列。
  export [--all] [--format csv|tsv|json] [--encoding utf-8|gbk] [find ...|where ...|ls 路径]
        把地区写到标准输出：--all 为所有纪录，否则为后面的 find、where 或 ls
        列出的行。csv 与窗口的文本导出（kvrn.txt）逐字节相同（用 gbk 编码时）：
        所属,地区名称,区号,邮编，每行以 CR LF 结束。默认 csv、UTF-8。

通用选项：
  --db 文件          读取这个数据库文件
  --format 格式      find、where、ls 的输出：table（按显示宽度对齐的列，
                     终端上的默认值）、tsv（制表符分隔，管道中的默认值）或 json
  -h, --help         显示本帮助
  --version          显示版本

退出状态：0 有结果；1 没有结果；2 出错（错误信息写到标准错误）。
)";
    return R"(Usage: qarvenda-cli [--db FILE] COMMAND [OPTIONS] [ARGUMENTS]

Looks places up in the reference book from a terminal. Reads the database file
the window uses (kvrn.dat in the working folder, else the one in the data folder
~/.local/share/qarvenda) unless --db says otherwise, and never writes it.

Commands:
  find [--exact] [--fields FIELD,...] QUERY
        Searches names, pinyin initials, postcodes and area codes as the window's
        search does: fuzzy on all four fields unless told otherwise; results in
        descending order of area code.
        --exact            exact matching
        --fields FIELD,... search only these: name, initials, postcode, areacode
  where NUMBER
        The places whose area code is the longest prefix of a telephone number
        written as people write it ("0755-8888 8888", "+86 10 6512 3456"): its
        digits are taken, a leading +86 or 0086 becomes 0, any other + becomes 00.
  ls [PATH]
        Without PATH, the directory tree with the number of places in each
        directory; with PATH (such as 广东省/深圳市), that directory's places in
        ascending order of area code.
  export [--all] [--format csv|tsv|json] [--encoding utf-8|gbk] [find ...|where ...|ls PATH]
        Writes places to standard output: every record with --all, otherwise the
        rows of the find, where or ls that follows. csv is the window's text
        export (kvrn.txt), byte for byte with gbk: owner,name,area code,postcode,
        each line ending in CR LF. Defaults: csv, UTF-8.

General options:
  --db FILE          read this database file
  --format FORMAT    output of find, where and ls: table (columns aligned by
                     display width, the default on a terminal), tsv (tab-separated,
                     the default in a pipe) or json
  -h, --help         show this help
  --version          show the version

Exit status: 0 with results, 1 with none, 2 on errors (reported on standard error).
)";
}

}  // namespace qv::cli
