#pragma once
// Rows of the list as a table for the clipboard: 所属, 地区名称, 区号, 邮编,
// separated by tabs, one row a line, so that they paste as cells into a
// spreadsheet or a mail.
#include "lookup/EntryRows.h"
#include "store/DatabaseFile.h"

#include <QString>

#include <vector>

namespace qv {

// Each cell is decoded on its own (a field cut inside its last character
// must not swallow the tab after it). Tabs and line breaks inside a field
// (only in a hand-made file) become blanks, so every row stays one line.
// `progress` hears 0..100 as the rows are done (a million of them take a
// moment). May run on a worker thread while nothing changes the rows.
QString rowsAsTable(const EntryRowSet& set, const std::vector<int>& rows, const ProgressFn& progress = {});

}  // namespace qv
