#pragma once
// Lookups of the command line that the window has no button for: the places
// of a telephone number, and a directory named by its path.
#include "lookup/EntryRows.h"

#include <string>
#include <string_view>

namespace qv {
class Database;
class DirectoryTree;
struct DirectoryNode;
}  // namespace qv

namespace qv::cli {

// The digits of a telephone number as people write it (UTF-8; full-width
// digits count too). A leading + stands for the international prefix 00, and
// China's own country code after it (0086) becomes the trunk prefix 0:
// "+86 10 6512 3456" gives 01065123456, "+852 2345 6789" 0085223456789.
std::string dialDigits(std::string_view text);

// The live places whose area code is the longest prefix of `digits` (0755
// before 075), by the search in exact mode on the area code alone, longest
// candidate first.
EntryRowSet placesForNumber(const Database& db, std::string_view digits);

// The first directory, in tree order, whose captions from the top level down
// joined by '/' spell `path` (GBK). A caption holding '/' itself is matched as
// a whole; slashes at either end are ignored. Null when none does.
const DirectoryNode* findDirectory(const DirectoryTree& tree, std::string_view path);

// The path of a directory as findDirectory reads it (GBK).
std::string directoryPath(const DirectoryNode* node);

}  // namespace qv::cli
