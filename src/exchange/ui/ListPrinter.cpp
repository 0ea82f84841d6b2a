#include "exchange/ui/ListPrinter.h"

#include "store/GbkText.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace qv {

namespace {

// True when the printer has somewhere to send the job: a printer, or a
// file when it prints to PDF. Without CUPS printers a QPrinter quietly turns
// into a PDF printer without a file, and every job would fail.
bool printerHasDestination(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return !printer.printerName().isEmpty();
}

}  // namespace

QString printEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& set)
{
    const size_t rowCount = set.rows.size();
    const auto cells = [&set](size_t i) { return printCells(set, set.rows[i]); };
    if (rowCount == 0)
        return {};
    if (!printerHasDestination(printer))
        return QStringLiteral("没有可用的打印机，也没有选择输出文件。请先在“打印机设置”中选择打印机，或选择打印到文件。");
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (printer.outputFormat() == QPrinter::PdfFormat)
            return QStringLiteral("无法写入打印文件“%1”。").arg(printer.outputFileName());
        return QStringLiteral("打印机“%1”不接受打印任务。").arg(printer.printerName());
    }
    if (font) {
        painter.setFont(*font);
    } else {
        // The printer's own default: the interface's face at a printing size
        // (the interface font is sized in screen pixels, tiny on paper).
        QFont standard = painter.font();
        standard.setPointSize(10);
        painter.setFont(standard);
    }
    const QFontMetrics fm = painter.fontMetrics();
    const PrintLayout layout({fm.horizontalAdvance(QStringLiteral("字")), fm.height(), painter.device()->logicalDpiY(),
                              painter.device()->height()},
                             rowCount);
    const int ascent = fm.ascent();
    for (size_t p = 0; p < layout.pageCount(); ++p) {
        if (p > 0 && !printer.newPage()) {
            painter.end();
            return QStringLiteral("打印机无法开始新的一页。");
        }
        for (const PrintLine& line : layout.lines(p, cells))
            for (size_t c = 0; c < line.texts.size(); ++c)
                if (!line.texts[c].empty())
                    // A tab (only in a hand-made file) would push the text into the next column.
                    painter.drawText(layout.columns()[c], line.y + ascent,
                                     gbk::toQString(line.texts[c]).replace(QLatin1Char('\t'), QLatin1Char(' ')));
    }
    if (!painter.end())
        return QStringLiteral("打印任务没有完成。");
    return {};
}

}  // namespace qv
