#pragma once
// Prints the entry list as a four-column table (名称 区号 邮编 所属) on a
// printer, in one font, with the page layout of exchange/PrintLayout.
#include "exchange/PrintLayout.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

class QFont;
class QFontMetrics;
class QPrinter;

namespace qv {

// Hooks of a job that runs beside the event loop; both may be left empty.
struct PrintControl {
    // Set (from any thread) to stop after the page being printed.
    const std::atomic<bool>* cancel = nullptr;
    // After each page sent: pages done, pages in the job.
    std::function<void(size_t done, size_t total)> pageDone;
};

struct PrintResult {
    QString error;  // the reason for the error box; empty when nothing failed
    bool cancelled = false;
    bool ok() const { return error.isEmpty() && !cancelled; }
};

// The job options the printer holds: its page range, copies (unless the
// printing system makes them itself), collation and page order.
PrintJobOptions jobOptions(const QPrinter& printer);

// Prints the rows of the list, in the order the list shows them, in `font`
// (the printer's own default when none), the pages and copies that the
// printer's set-up asks for. Nothing is started for no rows. Printing to a
// PDF file writes a temporary file beside it and puts it in place at the
// end, so that a failed or cancelled job leaves the file as it was.
// May run on a worker thread while nothing else uses the printer.
PrintResult printEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& rows,
                           const PrintControl& control = {});

// Draws the pages of the job once (no copies) on `printer`, for a preview.
// A cancelled preview keeps the pages drawn so far. Returns the pages drawn
// and the pages of the job.
struct PreviewPages {
    size_t drawn = 0;
    size_t total = 0;
};
PreviewPages previewEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& rows,
                              const PrintControl& control = {});

// The longest prefix of `text` that is at most `room` wide in `metrics`,
// cut between characters.
QString fitText(const QString& text, int room, const QFontMetrics& metrics);

}  // namespace qv
