#pragma once
// Files other programs read, read back the way those programs do.
#include <QString>

#include <optional>
#include <string>

namespace qvtest {

// The worksheets of a workbook read back with openpyxl: their number (then
// " columns:" and the formats of columns A to D unless all four are the text
// format "@"), then one line per row of the first, cells joined by "|"; a
// cell that is not text shows as "#<type>:<value>", one not in the text
// format gets "#format:<format>"; control characters stored as "_xHHHH_" are
// decoded, as a spreadsheet application shows them. nullopt when openpyxl
// is missing.
std::optional<std::string> readSheet(const QString& path);

}  // namespace qvtest
