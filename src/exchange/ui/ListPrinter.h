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

// True when the printer has somewhere to send the job: a printer, or a
// file when it prints to PDF. Without CUPS printers a QPrinter quietly turns
// into a PDF printer without a file, and every job would fail.
bool printerHasDestination(const QPrinter& printer);

// Prints `rowCount` rows, texts from `cells(row)`, in `font` (the printer's
// own default when none). Nothing is started for no rows. Returns an empty
// string when the job was sent, else the reason for the error box.
QString printRows(QPrinter& printer, const std::optional<QFont>& font, size_t rowCount,
                  const std::function<PrintCells(size_t)>& cells);
// The rows of the list, in the order the list shows them.
QString printEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& rows);

}  // namespace qv
