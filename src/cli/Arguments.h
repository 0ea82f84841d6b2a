#pragma once
// The command line of qarvenda-cli: a command (find, where, ls, export) with
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

enum class Command { None, Find, Where, Ls, Export };
// Auto: aligned columns on a terminal, tab-separated otherwise.
enum class Format { Auto, Table, Tsv, Json, Csv };
enum class Encoding { Utf8, Gbk };

struct Invocation {
    bool help = false;
    bool version = false;
    Command command = Command::None;
    // For export: the command whose rows it writes; None with --all.
    Command listing = Command::None;
    std::string database;  // --db as given (local 8-bit); empty: where the window looks
    bool all = false;
    QueryOptions query;  // find: fuzzy on all four fields unless told otherwise
    Format format = Format::Auto;
    Encoding encoding = Encoding::Utf8;
    bool hasArgument = false;
    std::string argument;  // UTF-8: the query, the number or the path
};

struct ParseResult {
    Invocation invocation;
    Message error;  // empty when the command line was understood
    bool ok() const { return error.empty(); }
};

// `args` without the program name. Options may come anywhere before "--",
// as "--name value" or "--name=value".
ParseResult parseArguments(const std::vector<std::string>& args);

// The text of --help.
std::string usageText(bool chinese);

}  // namespace qv::cli
