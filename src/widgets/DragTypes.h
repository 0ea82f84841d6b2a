#pragma once
// Formats of what is dragged inside the window.
#include <QString>

namespace qv::drag {

// A directory dragged inside the tree.
QString directoryFormat();
// Rows dragged from the entry list. The format names this process, so rows
// dragged from another running copy are not taken for our own selection.
QString entriesFormat();

}  // namespace qv::drag
