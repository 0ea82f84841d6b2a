#include "cli/Arguments.h"

#include "lookup/EntryRows.h"
#include "store/DatabaseFile.h"

#include <QRegularExpression>
#include <QString>

#include <cstdlib>
#include <map>
#include <pwd.h>
#include <unistd.h>

namespace qv::cli {

namespace {

const char* commandName(Command c)
{
    switch (c) {
    case Command::Find:
        return "find";
    case Command::Where:
        return "where";
    case Command::Post:
        return "post";
    case Command::Ls:
        return "ls";
    case Command::Export:
        return "export";
    case Command::CompleteLs:
        return "__complete-ls";
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
    if (name == "post")
        return Command::Post;
    if (name == "ls")
        return Command::Ls;
    if (name == "export")
        return Command::Export;
    if (name == "__complete-ls")
        return Command::CompleteLs;
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

bool setSort(std::string_view value, SortOrder& sort)
{
    if (value == "relevance") {
        sort = SortOrder();
        sort.relevance = true;
        return true;
    }
    const size_t colon = value.find(':');
    const std::string_view column = value.substr(0, colon);
    const std::string_view direction = colon == std::string_view::npos ? "asc" : value.substr(colon + 1);
    static const std::map<std::string_view, int> columns = {{"owner", kColumnDirectory},
                                                            {"name", kColumnName},
                                                            {"areacode", kColumnAreaCode},
                                                            {"postcode", kColumnPostcode}};
    const auto it = columns.find(column);
    if (it == columns.end() || (direction != "asc" && direction != "desc"))
        return false;
    sort.column = it->second;
    sort.direction = direction == "asc" ? +1 : -1;
    sort.relevance = false;
    return true;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

}  // namespace

bool gbkLocale()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        std::string_view locale(value);
        const size_t dot = locale.find('.');
        if (dot == std::string_view::npos)
            return false;
        const std::string codeset = lower(locale.substr(dot + 1, locale.find('@') - dot - 1));
        return codeset == "gbk" || codeset == "gb2312" || codeset == "cp936" || codeset == "euccn";
    }
    return false;
}

std::string englishReason(const std::string& chinese)
{
    // The reasons the database reader gives, with their numbers and names.
    static const struct {
        const char* zh;
        const char* en;
    } reasons[] = {
        {"压缩数据已损坏", "the compressed data is corrupt"},
        {"压缩数据不完整：应有 (\\d+) 字节，只解出 (\\d+) 字节",
         "the compressed data is incomplete: \\1 bytes expected, only \\2 decompressed"},
        {"解压后的数据比文件头所说的 (\\d+) 字节多",
         "the decompressed data is longer than the \\1 bytes the header announces"},
        {"压缩数据之后还有 (\\d+) 字节", "\\1 more bytes follow the compressed data"},
        {"文件头中的数据长度无效（(-?\\d+)）", "the data length in the header is invalid (\\1)"},
        {"文件头声明的数据长度（(\\d+) 字节）超出文件所能容纳的数据",
         "the data length in the header (\\1 bytes) is more than the file can hold"},
        {"文件头中的数据长度（(-?\\d+) 字节）小于空数据库的 (\\d+) 字节",
         "the data length in the header (\\1 bytes) is less than the \\2 bytes of an empty database"},
        {"找不到数据库文件“(.*)”", "cannot find the database file '\\1'"},
        {"“(.*)”不是普通文件，无法作为数据库读取", "'\\1' is not a regular file and cannot be read as a database"},
        {"无法读取数据库文件“(.*)”：(.*)", "cannot read the database file '\\1': \\2"},
        {"数据库文件过大（(\\d+) 字节），不是本程序的数据库",
         "the database file is too large (\\1 bytes) to be one of this program's"},
        {"内存不足，无法读取数据库文件", "not enough memory to read the database file"},
        {"读取数据库文件时出错：(.*)", "error while reading the database file: \\1"},
        {"数据库文件太短（(\\d+) 字节）", "the database file is too short (\\1 bytes)"},
        {"第 (\\d+) 个目录的编号为 (-?\\d+)，而目录编号必须是正数",
         "directory \\1 has the id \\2, but directory ids must be positive"},
        {"数据库文件“(.*)”是循环的符号链接，找不到它最终指向的文件",
         "the database file '\\1' is a symbolic link that loops, so the file it points to cannot be found"},
        {"数据库文件“(.*)”是符号链接，它指向的“(.*)”不存在",
         "the database file '\\1' is a symbolic link to '\\2', which does not exist"},
        {"数据库文件“(.*)”是指向“(.*)”的符号链接，而“.*”不是普通文件",
         "the database file '\\1' is a symbolic link to '\\2', which is not a regular file"},
        // Finding the database and making the first copy of the bundled one.
        {"无法建立数据文件夹“(.*)”（“(.*)”）：(.*)。", "cannot create the data folder '\\1' ('\\2': \\3)"},
        {"无法建立数据文件夹“(.*)”：(.*)。", "cannot create the data folder '\\1': \\2"},
        {"找不到随程序附带的数据库，无法复制到“(.*)”。", "the bundled database is missing, so nothing can be copied to '\\1'"},
        {"无法把随程序附带的数据库复制到数据文件夹：(.*?)。?", "cannot copy the bundled database to the data folder: \\1"},
        {"随程序附带的数据库“(.*)”以只读方式打开；要保存修改，请用“另存为”存到可以写入的地方。",
         "reading the bundled database '\\1' instead"},
        {"无法读取“(.*)”：(.*)", "cannot read '\\1': \\2"},
        {"无法在“(.*)”中建立文件：(.*)", "cannot create a file in '\\1': \\2"},
        {"无法写入“(.*)”：(.*)", "cannot write '\\1': \\2"},
        {"无法建立“(.*)”：(.*)", "cannot create '\\1': \\2"},
        {"“(.*)”已经存在，没有覆盖它。", "'\\1' exists already and was not replaced"},
    };
    const QString text = QString::fromUtf8(chinese.data(), qsizetype(chinese.size()));
    for (const auto& r : reasons) {
        const QRegularExpression pattern(QStringLiteral("^") + QString::fromUtf8(r.zh) + QStringLiteral("$"));
        const QRegularExpressionMatch m = pattern.match(text);
        if (!m.hasMatch())
            continue;
        QString english = QString::fromUtf8(r.en);
        for (int i = m.lastCapturedIndex(); i >= 1; --i) {
            // A part may be a cause of the core's, or a reason of its own.
            const QString part = m.captured(i);
            const QString cause = englishFileError(part);
            english.replace(QStringLiteral("\\") + QString::number(i),
                            !cause.isEmpty() ? cause : QString::fromStdString(englishReason(part.toStdString())));
        }
        return english.toStdString();
    }
    return chinese;
}

std::string expandHome(const std::string& path)
{
    if (path.empty() || path[0] != '~')
        return path;
    const size_t slash = path.find('/');
    const std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    const char* home = nullptr;
    if (user.empty()) {
        home = std::getenv("HOME");
        if (!home || !*home)
            if (const passwd* pw = ::getpwuid(::getuid()))
                home = pw->pw_dir;
    } else if (const passwd* pw = ::getpwnam(user.c_str())) {
        home = pw->pw_dir;
    }
    // An unknown user leaves the name as written, as the shell does.
    if (!home)
        return path;
    return std::string(home) + (slash == std::string::npos ? std::string() : path.substr(slash));
}

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
        const bool flag =
            name == "--exact" || name == "--all" || name == "--version" || name == "--count" || name == "--header";
        const bool takesValue =
            name == "--db" || name == "--format" || name == "--encoding" || name == "--fields" || name == "--sort";
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
        } else if (name == "--count") {
            inv.count = true;
        } else if (name == "--header") {
            inv.header = true;
        } else if (name == "--sort") {
            if (!setSort(value, inv.sort)) {
                result.error = fail("选项“--sort”的值" + quotedZh(value) +
                                        "无效：应为 relevance，或 owner、name、areacode 或 postcode，可加“:asc”或“:desc”。",
                                    "invalid value " + quotedEn(value) +
                                        " for '--sort' (relevance, or owner, name, areacode or postcode, then :asc or :desc)");
                return result;
            }
        } else if (name == "--db") {
            inv.database = expandHome(value);
        } else if (name == "--fields") {
            if (!setFields(value, inv.query)) {
                result.error = fail("选项“--fields”的值" + quotedZh(value) +
                                        "无效：可用 name、initials、postcode、areacode，以逗号分隔。",
                                    "invalid value " + quotedEn(value) +
                                        " for '--fields' (a comma-separated list of name, initials, postcode, areacode)");
                return result;
            }
        } else if (name == "--encoding") {
            inv.encodingGiven = true;
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
            static const std::map<std::string, Format> formats = {{"table", Format::Table}, {"tsv", Format::Tsv},
                                                                  {"csv", Format::Csv},     {"kvrn", Format::Kvrn},
                                                                  {"json", Format::Json},   {"jsonl", Format::Jsonl}};
            auto it = formats.find(value);
            if (it == formats.end()) {
                result.error =
                    fail("选项“--format”的值" + quotedZh(value) + "无效：可用 table、tsv、csv、kvrn、json、jsonl。",
                         "invalid value " + quotedEn(value) + " for '--format' (table, tsv, csv, kvrn, json, jsonl)");
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
        result.error = fail("未知的命令" + quotedZh(positional[next]) + "。可用的命令：find、where、post、ls、export。",
                            "unknown command " + quotedEn(positional[next]) + " (find, where, post, ls, export)");
        return result;
    }
    ++next;
    Command rows = inv.command;  // the command that picks the rows
    if (inv.command == Command::Export) {
        if (next < positional.size()) {
            inv.listing = commandNamed(positional[next]);
            if (inv.listing == Command::None || inv.listing == Command::Export) {
                result.error =
                    fail("“export”后面只能跟 find、where、post 或 ls，不能跟" + quotedZh(positional[next]) + "。",
                         "'export' takes find, where, post or ls, not " + quotedEn(positional[next]));
                return result;
            }
            ++next;
        }
        if (inv.all == (inv.listing != Command::None)) {
            result.error = inv.all ? fail("“--all”导出所有纪录，不能再跟 find、where、post 或 ls。",
                                          "'--all' exports every record and takes no find, where, post or ls")
                                   : fail("“export”要导出什么？请给出 --all，或者 find、where、post、ls 之一。",
                                          "'export' needs --all, or one of find, where, post, ls");
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
    }
    const size_t left = positional.size() - next;
    // Rows of places, as opposed to the directory tree of a plain ls.
    const bool places = rows == Command::Find || rows == Command::Where || rows == Command::Post ||
                        (rows == Command::Ls && left > 0) || inv.all;
    if (!places && (inv.format == Format::Kvrn || given.count("--sort") || given.count("--count"))) {
        const char* option = inv.format == Format::Kvrn ? "--format kvrn"
                             : given.count("--sort")    ? "--sort"
                                                        : "--count";
        result.error = fail("选项" + quotedZh(option) + "只用于地区的行，不能用于目录树。",
                            "option " + quotedEn(option) + " applies to rows of places, not to the directory tree");
        return result;
    }
    if (given.count("--count") && inv.command == Command::Export) {
        refuse("--count");
        return result;
    }
    if (given.count("--sort") && inv.all) {
        refuse("--sort");
        return result;
    }
    if (inv.header && inv.format != Format::Auto && inv.format != Format::Tsv && inv.format != Format::Csv &&
        inv.format != Format::Table) {
        result.error = fail("“--header”只用于 tsv 和 csv。", "'--header' applies to tsv and csv only");
        return result;
    }

    // The arguments of the command that picks the rows.
    if (left == 0 && (rows == Command::Find || rows == Command::Where || rows == Command::Post)) {
        result.error = rows == Command::Find ? fail("“find”需要一个查询词。", "'find' needs a query")
                       : rows == Command::Where ? fail("“where”需要一个电话号码。", "'where' needs a telephone number")
                                                : fail("“post”需要一个邮政编码。", "'post' needs a postcode");
        return result;
    }
    if (inv.command == Command::Export && rows == Command::Ls && left == 0) {
        result.error = fail("“export ls”需要一个目录路径，如“广东省/深圳市”。", "'export ls' needs a directory path");
        return result;
    }
    if (((rows == Command::Find || rows == Command::Ls || rows == Command::Post || rows == Command::CompleteLs) &&
         left > 1) ||
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
    inv.batch = left == 1 && inv.argument == "-" && rows != Command::Ls && rows != Command::CompleteLs;
    if (inv.batch && inv.format == Format::Kvrn) {
        result.error = fail("“--format kvrn”只写文本导出的行，不能用于逐行查询（“-”）。",
                            "'--format kvrn' writes the text export's lines only; it does not take queries from '-'");
        return result;
    }
    return result;
}

std::string usageText(bool chinese)
{
    if (chinese)
        return R"(用法：qarvenda-cli [--db 文件] 命令 [选项] [参数]

在终端里查阅地名录：读取数据库文件（与窗口相同：当前文件夹中的 kvrn.dat，
没有时用数据文件夹 ~/.local/share/qarvenda 中的，
那里也没有时直接读随程序附带的），从不写入，也不建立副本。

命令：
  find [--exact] [--fields 字段,...] 查询词
        按地区名称、地区拼音、邮政编码、电话区号查找，与窗口的“查找”相同：
        默认模糊查询、四个字段全查；结果按区号从大到小排列（--sort relevance：
        最匹配的在前）。名称或拼音相符的目录列在地区之前，地区名称栏为其路径
        加“/”。
        --exact            精确查询
        --fields 字段,...  只查这些字段：name、initials、postcode、areacode
  where 电话号码
        找出区号是该号码最长前缀的地区。号码可按习惯书写，如
        “0755-8888 8888”“+86 (0)10 6512 3456”“010-6512 3456 转 8”：
        +86、0086 之后的 0 或 (0) 可有可无，分机号不计；第一个数字之前的
        文字（如从网页复制的“传真（Fax）：”）也不计。95588、10086、12345
        这类服务号码没有区号。
  post 邮政编码
        找出邮编为该邮政编码的地区；没有时，找出邮编以它开头的地区
        （如 5180）；再没有时，找出邮编与它开头至少 4 位相同（同一县局）
        且相同位数最多的地区，并说明这是前缀匹配。
  ls [路径|目录名]
        不给参数时列出目录树和各目录的地区数；给出路径（如“广东省/深圳市”）
        或唯一的目录名（如“深圳市”）时列出该目录的地区，按区号从小到大排列。
  export [--all] [--encoding utf-8|gbk] [find ...|where ...|post ...|ls 路径]
        把地区写到标准输出：--all 为所有纪录，否则为后面的命令列出的行。
        默认格式 csv。

用“-”代替查询词、号码或邮编时，从标准输入逐行读取，数据库只读入一次；
每行结果前加上该输入行。开头的 UTF-8 字节顺序标记（BOM）不计。

通用选项：
  --db 文件          读取这个数据库文件（~ 表示主文件夹）
  --format 格式      table：按显示宽度对齐的列（终端上的默认值）；
                     tsv：制表符分隔（管道中的默认值）；
                     csv：逗号分隔（RFC 4180），仅在需要时加引号；
                     kvrn：窗口文本导出（kvrn.txt）的行，导入可读；
                     json：一个 JSON 数组；jsonl：每行一个 JSON 对象
  --header           tsv 和 csv 的第一行为各列标题
  --sort 列[:asc|desc]  按 owner、name、areacode 或 postcode 排序；
                     relevance（仅 find）：按匹配程度排序
  --count            只输出行数
  -h, --help         显示本帮助
  --version          显示版本

在 GBK 区域设置（zh_CN.GBK）下，参数和输入按 GBK 读取，输出也用 GBK。
退出状态：0 有结果；1 没有结果；2 出错（错误信息写到标准错误）。
)";
    return R"(Usage: qarvenda-cli [--db FILE] COMMAND [OPTIONS] [ARGUMENTS]

Looks places up in the reference book from a terminal. Reads the database
file the window uses (kvrn.dat in the working folder, else the one in the
data folder ~/.local/share/qarvenda, else the bundled one where it lies)
unless --db says otherwise, and never writes it or makes a copy.

Commands:
  find [--exact] [--fields FIELD,...] QUERY
        Searches names, pinyin initials, postcodes and area codes as the
        window's search does: fuzzy on all four fields unless told otherwise;
        results in descending order of area code (--sort relevance: best
        match first). Directories whose name or pinyin matches come before
        the places, their path and "/" in the name column.
        --exact            exact matching
        --fields FIELD,... search only these: name, initials, postcode,
                           areacode
  where NUMBER
        The places whose area code is the longest prefix of a telephone
        number written as people write it: "0755-8888 8888",
        "+86 (0)10 6512 3456", "010-6512 3456 ext 8". A trunk 0 or (0)
        may follow +86 or 0086; an extension, and text before the first
        digit (a label pasted from a web page), are ignored. Service numbers
        such as 95588, 10086 and 12345 have no area code.
  post POSTCODE
        The places with that postcode; when there are none, those whose
        postcode begins with it (5180), else those whose postcode shares the
        longest prefix of at least 4 digits with it (the same county post
        office), with a note that the match is a prefix.
  ls [PATH|NAME]
        Without an argument, the directory tree with the number of places in
        each directory; with a path (广东省/深圳市) or a directory's own
        name when it is unique (深圳市), that directory's places in ascending
        order of area code.
  export [--all] [--encoding utf-8|gbk] [find ...|where ...|post ...|ls PATH]
        Writes places to standard output: every record with --all, otherwise
        the rows of the command that follows. Default format: csv.

A QUERY, NUMBER or POSTCODE of "-" reads one per line from standard input
and loads the database once; each row then begins with its input line. A
UTF-8 byte-order mark at the start is skipped.

General options:
  --db FILE          read this database file (~ is the home folder)
  --format FORMAT    table: columns aligned by display width (the default
                     on a terminal); tsv: tab-separated (the default in a
                     pipe); csv: comma-separated (RFC 4180), quoted only
                     where needed; kvrn: the lines of the window's text
                     export (kvrn.txt), which the import reads; json: one
                     JSON array; jsonl: one JSON object per line
  --header           a first line of column captions for tsv and csv
  --sort COLUMN[:asc|desc]
                     sort by owner, name, areacode or postcode;
                     relevance (find only): best match first
  --count            print only the number of rows
  -h, --help         show this help
  --version          show the version

Under a GBK locale (zh_CN.GBK) arguments and input are read, and output is
written, in GBK.
Exit status: 0 with results, 1 with none, 2 on errors (on standard error).
)";
}

}  // namespace qv::cli
