#pragma once
// The command line of qarvenda-cli: a command (find, where, post, ls, export) with
// its options and arguments, read into an Invocation or refused with a
// message in both languages.
#include "lookup/Search.h"

#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

// A message for standard error; which language shows depends on the locale.
struct Message {
    std::string zh;
    std::string en;
    const std::string& text(bool chinese) const { return chinese ? zh : en; }
    bool empty() const { return zh.empty() && en.empty(); }
};

// True when the locale that picks the language of messages (LC_ALL, then
// LC_MESSAGES, then LANG; the first one set) is a Chinese one.
bool chineseLocale();
// True when the locale's character set (LC_ALL, then LC_CTYPE, then LANG) is
// GBK or GB2312: the terminal then reads and writes GBK.
bool gbkLocale();

// The English of a reason the core gives in Chinese (UTF-8); the Chinese
// itself when it is not one the command line knows.
std::string englishReason(const std::string& chinese);

// CompleteLs, "__complete-ls [PREFIX]", is for the shell's completion: what
// `ls` takes that begins with PREFIX, one a line, from the database the same
// line would read. It is not in --help.
enum class Command { None, Find, Where, Post, Ls, Export, CompleteLs };
// Auto: aligned columns on a terminal, tab-separated otherwise. Kvrn: the
// lines of the window's text export.
enum class Format { Auto, Table, Tsv, Csv, Kvrn, Json, Jsonl };
enum class Encoding { Utf8, Gbk };

// --sort: a column of the rows of places and a direction (+1 or -1).
struct SortOrder {
    int column = -1;  // an EntryColumn; -1 for the command's own order
    int direction = +1;
    bool relevance = false;  // find: best match first (column stays -1)
};

struct Invocation {
    bool help = false;
    bool version = false;
    Command command = Command::None;
    // For export: the command whose rows it writes; None with --all.
    Command listing = Command::None;
    std::string database;  // --db as given (local 8-bit), ~ expanded; empty: where the window looks
    bool all = false;
    QueryOptions query;  // find: fuzzy on all four fields unless told otherwise
    Format format = Format::Auto;
    Encoding encoding = Encoding::Utf8;
    bool encodingGiven = false;
    bool count = false;   // only the number of rows
    bool header = false;  // a caption line for tsv and csv
    SortOrder sort;
    bool batch = false;  // "-": one query per line of standard input
    bool hasArgument = false;
    std::string argument;  // as given: the query, the number, the postcode or the path
};

struct ParseResult {
    Invocation invocation;
    Message error;  // empty when the command line was understood
    bool ok() const { return error.empty(); }
};

// A leading ~ or ~user of a file name as the shell expands it: bash leaves
// it as it is after "--db=", and completion sees the word unexpanded.
std::string expandHome(const std::string& path);

// `args` without the program name. Options may come anywhere before "--",
// as "--name value" or "--name=value".
ParseResult parseArguments(const std::vector<std::string>& args);

// The text of --help.
std::string usageText(bool chinese);

}  // namespace qv::cli
