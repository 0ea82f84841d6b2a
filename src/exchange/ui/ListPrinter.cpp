#include "exchange/ui/ListPrinter.h"

#include "store/GbkText.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QRandomGenerator>

#include <cstdio>
#include <unordered_map>

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

void setPrintFont(QPainter& painter, const std::optional<QFont>& font)
{
    if (font) {
        painter.setFont(*font);
    } else {
        // The printer's own default: the interface's face at a printing size
        // (the interface font is sized in screen pixels, tiny on paper).
        QFont standard = painter.font();
        standard.setPointSize(10);
        painter.setFont(standard);
    }
}

// Cuts cells to their column. Most cells fit by far: the sum of their
// characters' advances (each measured once) tells so without shaping the
// text; only a text near or past its column's edge is measured whole.
class CellFitter {
public:
    explicit CellFitter(const QFontMetrics& metrics)
        : m_metrics(metrics), m_slack(std::max(1, metrics.horizontalAdvance(QChar(0x5B57)) / 4))
    {
    }
    QString fit(const QString& text, int room)
    {
        int64_t sum = 0;
        for (const QChar ch : text) {
            if (ch.isSurrogate())
                return fitText(text, room, m_metrics);
            auto it = m_advance.find(ch.unicode());
            if (it == m_advance.end())
                it = m_advance.emplace(ch.unicode(), m_metrics.horizontalAdvance(ch)).first;
            sum += it->second;
        }
        return sum + m_slack <= room ? text : fitText(text, room, m_metrics);
    }

private:
    const QFontMetrics& m_metrics;
    const int m_slack;  // room for kerning and rounding the sum does not see
    std::unordered_map<char16_t, int> m_advance;
};

// Draws the pages in `sequence`, a new sheet before each but the first.
// Returns an error text, or empty when done or cancelled.
QString drawPages(QPrinter& printer, QPainter& painter, const EntryRowSet& set, const PrintLayout& layout,
                  const std::vector<size_t>& sequence, const PrintControl& control, bool* cancelled)
{
    const auto cells = [&set](size_t i) { return printCells(set, set.rows[i]); };
    const QFontMetrics fm = painter.fontMetrics();
    const int ascent = fm.ascent();
    const int width = painter.device()->width();
    // A blank's width between columns, so that a cut text never touches the next one.
    const int gap = fm.horizontalAdvance(QLatin1Char(' '));
    std::array<int, 4> room{};
    for (size_t c = 0; c < room.size(); ++c)
        room[c] = layout.columnRoom(c, width, gap);
    CellFitter fitter(fm);
    for (size_t i = 0; i < sequence.size(); ++i) {
        if (control.cancel && control.cancel->load()) {
            *cancelled = true;
            return {};
        }
        if (i > 0 && !printer.newPage())
            return QStringLiteral("打印机无法开始新的一页。");
        for (const PrintLine& line : layout.lines(sequence[i], cells))
            for (size_t c = 0; c < line.texts.size(); ++c)
                if (!line.texts[c].empty()) {
                    // A tab (only in a hand-made file) would push the text into the next column.
                    const QString text = gbk::toQString(line.texts[c]).replace(QLatin1Char('\t'), QLatin1Char(' '));
                    painter.drawText(layout.columns()[c], line.y + ascent, fitter.fit(text, room[c]));
                }
        if (control.pageDone)
            control.pageDone(i + 1, sequence.size());
    }
    return {};
}

PrintLayout layoutFor(const QPainter& painter, size_t rowCount)
{
    const QFontMetrics fm = painter.fontMetrics();
    return PrintLayout({fm.horizontalAdvance(QStringLiteral("字")), fm.height(), painter.device()->logicalDpiY(),
                        painter.device()->height()},
                       rowCount);
}

// A new file beside `target` for the job to write first, made like any new
// file (the umask decides its permissions); removed again unless kept.
class PartFile {
public:
    explicit PartFile(const QString& target)
    {
        const QFileInfo info(target);
        for (int attempt = 0; attempt < 16 && m_name.isEmpty(); ++attempt) {
            const QString name =
                info.absoluteDir().filePath(QStringLiteral(".%1.%2")
                                                .arg(info.fileName())
                                                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
            QFile file(name);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                m_name = name;
            else if (!file.exists())
                break;  // the folder takes no file at all
        }
    }
    ~PartFile()
    {
        if (!m_name.isEmpty() && !m_kept)
            QFile::remove(m_name);
    }
    const QString& name() const { return m_name; }
    // Puts the file in place of `target` in one step: no reader ever meets half a file.
    bool replace(const QString& target)
    {
        m_kept = std::rename(QFile::encodeName(m_name).constData(), QFile::encodeName(target).constData()) == 0;
        return m_kept;
    }

private:
    QString m_name;
    bool m_kept = false;
};

}  // namespace

QString fitText(const QString& text, int room, const QFontMetrics& metrics)
{
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    // Longest prefix that fits, found by halving; a surrogate pair stays whole.
    qsizetype lo = 0, hi = text.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo > 0 && text.at(lo - 1).isHighSurrogate())
        --lo;
    return text.left(lo);
}

PrintJobOptions jobOptions(const QPrinter& printer)
{
    PrintJobOptions o;
    if (printer.printRange() == QPrinter::PageRange) {
        o.fromPage = printer.fromPage();
        o.toPage = printer.toPage();
        // "1,5" is pages 1 and 5, not 1 to 5.
        for (const QPageRanges::Range& r : printer.pageRanges().toRangeList())
            o.ranges.emplace_back(r.from, r.to);
    }
    // A printing system that makes copies itself gets each page once.
    o.copies = printer.supportsMultipleCopies() ? 1 : printer.copyCount();
    o.collate = printer.collateCopies();
    o.lastPageFirst = printer.pageOrder() == QPrinter::LastPageFirst;
    return o;
}

PrintResult printEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& set,
                           const PrintControl& control)
{
    PrintResult result;
    if (set.rows.empty())
        return result;
    if (!printerHasDestination(printer)) {
        result.error =
            QStringLiteral("没有可用的打印机，也没有选择输出文件。请先在“打印机设置”中选择打印机，或选择打印到文件。");
        return result;
    }
    // A PDF goes to a temporary file beside the chosen one first.
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    const QString target = printer.outputFileName();
    std::optional<PartFile> part;
    if (toFile) {
        part.emplace(target);
        if (part->name().isEmpty()) {
            result.error = QStringLiteral("无法写入打印文件“%1”。").arg(target);
            return result;
        }
        printer.setOutputFileName(part->name());
    }
    struct Restore {
        QPrinter& printer;
        bool toFile;
        QString target;
        ~Restore()
        {
            if (toFile)
                printer.setOutputFileName(target);
        }
    } restore{printer, toFile, target};

    QPainter painter;
    if (!painter.begin(&printer)) {
        result.error = toFile ? QStringLiteral("无法写入打印文件“%1”。").arg(target)
                              : QStringLiteral("打印机“%1”不接受打印任务。").arg(printer.printerName());
        return result;
    }
    setPrintFont(painter, font);
    const PrintLayout layout = layoutFor(painter, set.rows.size());
    const std::vector<size_t> sequence = printSequence(layout.pageCount(), jobOptions(printer));
    result.error = drawPages(printer, painter, set, layout, sequence, control, &result.cancelled);
    if (result.cancelled || !result.error.isEmpty())
        printer.abort();  // a printer drops the job; a PDF's temporary file goes below
    if (!painter.end() && result.ok())
        result.error = QStringLiteral("打印任务没有完成。");
    if (!toFile || !result.ok())
        return result;
    if (!part->replace(target))
        result.error = QStringLiteral("无法写入打印文件“%1”。").arg(target);
    return result;
}

PreviewPages previewEntryRows(QPrinter& printer, const std::optional<QFont>& font, const EntryRowSet& set,
                              const PrintControl& control)
{
    PreviewPages pages;
    if (set.rows.empty())
        return pages;
    QPainter painter;
    if (!painter.begin(&printer))
        return pages;
    setPrintFont(painter, font);
    const PrintLayout layout = layoutFor(painter, set.rows.size());
    PrintJobOptions once = jobOptions(printer);
    once.copies = 1;
    const std::vector<size_t> sequence = printSequence(layout.pageCount(), once);
    pages.total = sequence.size();
    PrintControl counted = control;
    counted.pageDone = [&](size_t done, size_t total) {
        pages.drawn = done;
        if (control.pageDone)
            control.pageDone(done, total);
    };
    bool cancelled = false;
    drawPages(printer, painter, set, layout, sequence, counted, &cancelled);
    // No abort on 取消: the preview shows the pages drawn so far.
    painter.end();
    return pages;
}

}  // namespace qv
