#pragma once
// Prints the entry list as a four-column table (名称 区号 邮编 所属) on a
// printer, in one font, with the page layout of exchange/PrintLayout.
#include "exchange/PrintLayout.h"

#include <QString>

#include <functional>
#include <optional>

class QFont;
class QPrinter;

namespace qv {

// Prints the rows of the list, in the order the list shows them, in `font`
// (the printer's own default when none). Nothing is started for no rows.
// Returns an empty string when the job was sent, else the reason for the
// error box.
QString printEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& rows);

}  // namespace qv
