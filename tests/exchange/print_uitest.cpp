// Printing the list to PDF, read back with poppler's pdftotext: caption line
// per page, row order, page breaks, columns measured in the printing font;
// and the three printing commands with their dialogs.
#include "app/Application.h"
#include "exchange/ui/ListPrinter.h"
#include "exchange/ui/PrintCommands.h"
#include "store/GbkText.h"
#include "UiHelpers.h"

#include <QCheckBox>
#include <QDir>
#include <QFontDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

using namespace qv;
using qvtest::ModalScript;

namespace {

const QString kCaption = QStringLiteral("名称 区号 邮编 所属");
QString rowText(int i) { return QStringLiteral("地名%1 0755 %2 广东省").arg(i, 4, 10, QLatin1Char('0')).arg(510000 + i); }

EntryRowSet makeRows(int n)  // descending, as after a click on the name column
{
    EntryRowSet set;
    const uint32_t dir = set.addDirectoryName(*gbk::fromUtf8("广东省"));
    for (int i = n - 1; i >= 0; --i) {
        const QStringList t = rowText(i).split(QLatin1Char(' '));
        set.rows.push(-1, dir, *gbk::fromQString(t[0]), *gbk::fromQString(t[1]), *gbk::fromQString(t[2]));
    }
    return set;
}

QString pdftotext(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args + QStringList{QStringLiteral("-")});
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Pages of `pdftotext -layout` as their non-blank lines, blanks folded.
QList<QStringList> pdfPages(const QString& pdf)
{
    QStringList raw = pdftotext({QStringLiteral("-layout"), pdf}).split(QLatin1Char('\f'));
    raw.removeLast();  // after the last form feed
    QList<QStringList> pages;
    for (const QString& page : raw) {
        pages.append(QStringList());
        for (const QString& l : page.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!l.trimmed().isEmpty())
                pages.last() << l.simplified();
    }
    return pages;
}

// Top left (points) of each word on the first page, by text, last one first.
QMultiMap<QString, QPointF> pdfWords(const QString& pdf)
{
    static const QRegularExpression re(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>([^<]*)<"));
    QMultiMap<QString, QPointF> words;
    for (auto it = re.globalMatch(pdftotext({QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdf}));
         it.hasNext();) {
        const auto m = it.next();
        words.insert(m.captured(3), QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()));
    }
    return words;
}

QString toPdf(QPrinter& printer, const QString& path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return path;
}

// Left and right edge (points) of each word of the first page, by text.
QMultiMap<QString, std::pair<double, double>> pdfSpans(const QString& pdf)
{
    static const QRegularExpression re(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\"[^>]*>([^<]*)<"));
    QMultiMap<QString, std::pair<double, double>> words;
    for (auto it = re.globalMatch(pdftotext({QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdf}));
         it.hasNext();) {
        const auto m = it.next();
        words.insert(m.captured(3), {m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

// The first printed row of each page (the line after the caption).
QStringList firstRows(const QList<QStringList>& pages)
{
    QStringList out;
    for (const QStringList& page : pages)
        out << page.value(1);
    return out;
}

// Prints `rows` rows to the PDF `path`; the path, or nothing when the job failed.
QString printPdf(QPrinter& printer, const QString& path, int rows, const std::optional<QFont>& font = std::nullopt)
{
    toPdf(printer, path);
    return printEntryRows(printer, font, makeRows(rows)).ok() ? path : QString();
}

// Clicks 取消 of the progress window as soon as it shows (once); `onShown`
// runs first, while the work is under way.
class CancelWhenShown : public QObject {
public:
    explicit CancelWhenShown(std::function<void(QProgressDialog*)> onShown = {}) : m_onShown(std::move(onShown))
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && progress->isVisible() && !clicked)
                    for (QPushButton* b : progress->findChildren<QPushButton*>())
                        if (b->text() == QStringLiteral("取消")) {
                            clicked = true;
                            if (m_onShown)
                                m_onShown(progress);
                            QTest::mouseClick(b, Qt::LeftButton);
                        }
        });
        m_poll.start(20);
    }
    bool clicked = false;

private:
    std::function<void(QProgressDialog*)> m_onShown;
    QTimer m_poll;
};

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const char* name) { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        // Remembered settings go to a test folder, never to the user's own.
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("QarvendaTest"));
        QCoreApplication::setApplicationName(QStringLiteral("print_uitest"));
        QSettings().clear();
        qv::setUpChineseUi(*qApp);
    }
    void init() { QSettings().clear(); }
    void cleanupTestCase() { QSettings().clear(); }

    void pagesCarryTheCaptionAndTheRowsInListOrder()
    {
        QPrinter printer(QPrinter::HighResolution);
        const auto pages = pdfPages(printPdf(printer, file("many.pdf"), 150));
        QVERIFY(pages.size() >= 3);
        QStringList printed, want;
        for (const QStringList& page : pages) {
            QCOMPARE(page.value(0), kCaption);
            if (&page != &pages.last())  // full pages hold the same number of rows
                QCOMPARE(page.size(), pages.first().size());
            printed << page.mid(1);
        }
        for (int i = 149; i >= 0; --i)
            want << rowText(i);
        QCOMPARE(printed, want);

        // Two pages' worth exactly: no blank page after the last row. One row: one page.
        const int perPage = int(pages.first().size()) - 1;
        const auto exact = pdfPages(printPdf(printer, file("exact.pdf"), 2 * perPage));
        QCOMPARE(exact.size(), 2);
        QCOMPARE(exact.last().size(), perPage + 1);
        QCOMPARE(pdfPages(printPdf(printer, file("one.pdf"), 1)), QList<QStringList>{(QStringList{kCaption, rowText(0)})});
    }

    void bytesThatAreNoTextPrintOnTheirOwnLine()
    {
        // Not GBK, a lone lead byte, NUL, full-width blanks, a cut inside a
        // character, control bytes: each row on its own line, its neighbours whole.
        const std::string names[] = {"\xFF\x80\x81\x7F\xFE", "\xB1\xB1\xBE", std::string("\xB1\xB1\0\xBE\xA9", 5),
                                     "\xA1\xA1\xB1\xB1\xA1\xA1", std::string(24, '\xB1') + "\xBE", "\x01\x1B[0m\x7F"};
        EntryRowSet set = makeRows(2);
        for (const std::string& name : names)
            set.rows.insert(set.rows.size() - 1, -1, set.rows.front().directory, false, name,
                            std::string(1, '\0') + "\x81", "\t\xA1");
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, file("hostile.pdf"));
        QVERIFY(printEntryRows(printer, std::nullopt, set).ok());
        const auto pages = pdfPages(file("hostile.pdf"));
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0].value(1), rowText(1));
        QCOMPARE(pages[0].last(), rowText(0));
        // Every row at its own pitch; nothing lands above the first or below the last.
        const auto words = pdfWords(file("hostile.pdf"));
        QList<double> ys;
        for (const QPointF& p : words.values(QStringLiteral("广东省")))
            ys << p.y();
        std::sort(ys.begin(), ys.end());
        QCOMPARE(ys.size(), 8);
        for (int i = 2; i < ys.size(); ++i)
            QVERIFY(qAbs((ys[i] - ys[i - 1]) - (ys[1] - ys[0])) < 0.5);
        for (auto it = words.begin(); it != words.end(); ++it)
            QVERIFY2(it.value().y() < ys.last() + 2 && (it.value().y() > ys.first() - 2 || kCaption.contains(it.key())),
                     qPrintable(it.key()));
    }

    void columnsAndPitchFollowTheFont()
    {
        QPrinter printer(QPrinter::HighResolution);
        double lastX = 0, lastPitch = 0;
        for (int points : {10, 16, 24}) {  // 所属 of 32 pt falls off an A4 page
            const QFont font(QStringLiteral("AR PL UMing CN"), points);
            const auto words = pdfWords(printPdf(printer, m_dir.filePath(QStringLiteral("%1.pdf").arg(points)), 2, font));
            // "字" and "阿" measured in the same font on the printer, in points.
            const QFontMetricsF fm(font, &printer);
            const double scale = 72.0 / printer.resolution();
            const double w = fm.horizontalAdvance(QStringLiteral("字")) * scale;
            const double left = words.value(QStringLiteral("名称")).x();
            const double x[] = {words.value(QStringLiteral("区号")).x(), words.value(QStringLiteral("邮编")).x(),
                                words.value(QStringLiteral("所属"), QPointF(-1, 0)).x()};
            QVERIFY(qAbs(x[0] - left - 13 * w) < 1 && qAbs(x[1] - left - 16 * w) < 1 && qAbs(x[2] - left - 21 * w) < 1);
            const auto rows = words.values(QStringLiteral("0755"));
            QCOMPARE(rows.size(), 2);
            const double pitch = rows[0].y() - rows[1].y();
            QVERIFY(qAbs(pitch - (fm.height() + printer.resolution() / 10) * scale) < 0.5);
            QVERIFY(x[2] - left > lastX && pitch > lastPitch);
            lastX = x[2] - left;
            lastPitch = pitch;
        }
    }

    void emptyListAndNowhereToPrint()
    {
        PrintCommands commands;
        ModalScript script;
        script.click(QStringLiteral("确定")).click(QStringLiteral("确定")).click(QStringLiteral("确定"));
        QVERIFY(!commands.printList(nullptr, EntryRowSet()));
        QVERIFY(!QFile::exists(toPdf(commands.printer(), QString())));
        QVERIFY(!commands.printList(nullptr, makeRows(3)));  // no printer, no file
        toPdf(commands.printer(), file("gone/out.pdf"));
        QVERIFY(!commands.printList(nullptr, makeRows(3)));
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(0), QStringLiteral("列表框中无打印内容！"));
        QCOMPARE(script.icons, (QStringList{QStringLiteral("none"), QStringLiteral("critical"), QStringLiteral("critical")}));
        QVERIFY(script.texts.value(1).contains(QStringLiteral("“打印机设置”")));
        QVERIFY(script.texts.value(2).contains(file("gone/out.pdf")));
    }

    void fontDialogKeepsTheLastConfirmedFont()
    {
        PrintCommands commands;
        QVERIFY(!commands.printFont());  // the printer's default until confirmed
        QFont opened;
        QFont chosen(QStringLiteral("AR PL UMing CN"), 20);
        chosen.setUnderline(true);
        auto answer = [&](bool choose) {
            return [&, choose](QWidget* w) {
                auto* d = qobject_cast<QFontDialog*>(w);
                QVERIFY(d && d->objectName() == QStringLiteral("FontDialog1"));
                opened = d->currentFont();
                if (choose)
                    d->setCurrentFont(chosen);
                qvtest::clickButton(w, choose ? QStringLiteral("确定") : QStringLiteral("取消"));
            };
        };
        ModalScript script;
        script.then(answer(false)).then(answer(true)).then(answer(false));
        commands.chooseFont(nullptr);
        QCOMPARE(QFontInfo(opened).family(), QFontInfo(QFont(QStringLiteral("楷体_GB2312"))).family());
        QCOMPARE(opened.pointSize(), 14);
        QVERIFY(!commands.printFont());
        commands.chooseFont(nullptr);
        commands.chooseFont(nullptr);  // opens on the chosen font, then cancelled
        QVERIFY(script.finished());
        QCOMPARE(opened.pointSize(), 20);
        QVERIFY(commands.printFont());
        QCOMPARE(commands.printFont()->family(), chosen.family());
        QCOMPARE(commands.printFont()->pointSize(), 20);
        QVERIFY(commands.printFont()->underline());
    }

    void printerSetupChoicesHoldForLaterJobs()
    {
        PrintCommands commands;
        toPdf(commands.printer(), file("first.pdf"));
        auto answer = [&](const char* name, const QString& button) {
            return [=](QWidget* w) {
                QVERIFY(qobject_cast<QPrintDialog*>(w) && w->windowTitle() == QStringLiteral("打印机设置"));
                w->findChild<QLineEdit*>(QStringLiteral("filename"))->setText(file(name));
                qvtest::clickButton(w, button);
            };
        };
        ModalScript script;
        script.then(answer("chosen.pdf", QStringLiteral("确定"))).then(answer("cancelled.pdf", QStringLiteral("取消")));
        commands.printerSetup(nullptr);
        commands.printerSetup(nullptr);
        QVERIFY(script.finished());
        QVERIFY(commands.printList(nullptr, makeRows(2)));
        QCOMPARE(pdfPages(file("chosen.pdf")).size(), 1);
        QVERIFY(!QFile::exists(file("cancelled.pdf")) && !QFile::exists(file("first.pdf")));
    }

    void rangeCopiesCollationAndOrderComeFromThePrinter()
    {
        QPrinter printer(QPrinter::HighResolution);
        const QStringList all = firstRows(pdfPages(printPdf(printer, file("all.pdf"), 300)));
        QVERIFY(all.size() >= 5);
        const struct {
            int from, to, copies;
            bool collate, reverse;
            QList<int> pages;  // 0-based pages of `all`, in print order
        } cases[] = {
            {2, 3, 1, true, false, {1, 2}},        {2, 3, 2, true, false, {1, 2, 1, 2}},
            {2, 3, 2, false, false, {1, 1, 2, 2}}, {2, 4, 1, true, true, {3, 2, 1}},
            {1, 2, 2, true, true, {1, 0, 1, 0}},   {0, 0, 1, true, true, {}},  // every page, last first
        };
        for (const auto& c : cases) {
            QPrinter p(QPrinter::HighResolution);
            if (c.from > 0) {
                p.setPrintRange(QPrinter::PageRange);
                p.setFromTo(c.from, c.to);
            }
            p.setCopyCount(c.copies);
            p.setCollateCopies(c.collate);
            p.setPageOrder(c.reverse ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
            QStringList want;
            for (int i : c.pages)
                want << all[i];
            if (c.pages.isEmpty())
                for (qsizetype i = all.size() - 1; i >= 0; --i)
                    want << all[i];
            QCOMPARE(firstRows(pdfPages(printPdf(p, file("range.pdf"), 300))), want);
        }
    }

    void printerSetupOffersAndAppliesRangeCopiesAndOrder()
    {
        PrintCommands commands;
        toPdf(commands.printer(), file("setup.pdf"));
        ModalScript script;
        script.then([&](QWidget* w) {
            // What the list cannot print is not offered; what it applies is.
            for (const char* name : {"printSelection", "printCurrentPage"})
                QVERIFY2(w->findChild<QRadioButton*>(QLatin1String(name))->isHidden(), name);
            for (const char* name : {"printRange", "from", "to", "copies", "collate", "reverse"})
                QVERIFY2(!w->findChild<QWidget*>(QLatin1String(name))->isHidden(), name);
            w->findChild<QRadioButton*>(QStringLiteral("printRange"))->setChecked(true);
            w->findChild<QSpinBox*>(QStringLiteral("from"))->setValue(2);
            w->findChild<QSpinBox*>(QStringLiteral("to"))->setValue(3);
            w->findChild<QSpinBox*>(QStringLiteral("copies"))->setValue(2);
            w->findChild<QCheckBox*>(QStringLiteral("collate"))->setChecked(false);
            w->findChild<QCheckBox*>(QStringLiteral("reverse"))->setChecked(true);
            qvtest::clickButton(w, QStringLiteral("确定"));
        });
        commands.printerSetup(nullptr);
        QVERIFY(script.finished());
        QVERIFY(commands.printList(nullptr, makeRows(300)));
        QPrinter& plain = commands.printer();  // the same paper, every page once
        plain.setPrintRange(QPrinter::AllPages);
        plain.setCopyCount(1);
        plain.setPageOrder(QPrinter::FirstPageFirst);
        const QStringList all = firstRows(pdfPages(printPdf(plain, file("plain.pdf"), 300)));
        QCOMPARE(firstRows(pdfPages(file("setup.pdf"))), (QStringList{all[2], all[2], all[1], all[1]}));
    }

    void cancelledJobLeavesTheOldFile()
    {
        const QString path = file("kept.pdf");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        const auto leftovers = [&] {
            return QDir(m_dir.path()).entryList({QStringLiteral(".kept.pdf*")}, QDir::Files | QDir::Hidden);
        };
        // Stopped after the second page, from the job's own progress.
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, path);
        std::atomic<bool> cancel{false};
        size_t pagesSeen = 0;
        PrintControl control;
        control.cancel = &cancel;
        control.pageDone = [&](size_t done, size_t) {
            pagesSeen = done;
            if (done == 2)
                cancel = true;
        };
        const PrintResult result = printEntryRows(printer, std::nullopt, makeRows(400), control);
        QVERIFY(result.cancelled && result.error.isEmpty());
        QCOMPARE(pagesSeen, size_t(2));
        QCOMPARE(printer.outputFileName(), path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        old.close();
        QVERIFY(leftovers().isEmpty());

        // Through 打印: the progress window's 取消, clicked as soon as it shows.
        PrintCommands commands;
        toPdf(commands.printer(), path);
        {
            CancelWhenShown canceller;
            QVERIFY(!commands.printList(nullptr, makeRows(200000)));
            QVERIFY(canceller.clicked);
        }
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        QVERIFY(leftovers().isEmpty());
        // A job that runs to its end replaces the file.
        QVERIFY(commands.printList(nullptr, makeRows(3)));
        QCOMPARE(pdfPages(path).value(0).size(), 4);
        QVERIFY(leftovers().isEmpty());
        QFile fresh(file("fresh"));  // made as any new file is
        QVERIFY(fresh.open(QIODevice::WriteOnly));
        QCOMPARE(QFileInfo(path).permissions(), fresh.permissions());
    }

    void wideCellsAreCutBeforeTheNextColumn()
    {
        EntryRowSet set;
        const uint32_t dir = set.addDirectoryName(*gbk::fromUtf8("法属波利尼西亚群岛地区"));
        set.rows.push(-1, dir, *gbk::fromUtf8("塔希提岛帕皮提帕皮提市中心区"), "00689", "-18");
        set.rows.push(-1, dir, *gbk::fromUtf8("巴黎"), "0033", "-7");
        QPrinter printer(QPrinter::HighResolution);
        toPdf(printer, file("wide.pdf"));
        // Wide digits: five of them take more than three Chinese characters.
        QVERIFY(printEntryRows(printer, QFont(QStringLiteral("DejaVu Sans Mono"), 20), set).ok());
        const auto spans = pdfSpans(file("wide.pdf"));
        const double postcodeX = spans.value(QStringLiteral("邮编")).first;
        const double areaX = spans.value(QStringLiteral("区号")).first;
        QVERIFY(postcodeX > areaX);
        // Every text of the first two columns ends before the next column
        // and is the start of its cell, cut between characters.
        const QString name = QStringLiteral("塔希提岛帕皮提帕皮提市中心区");
        QStringList areaTexts;
        bool nameCut = false;
        for (auto it = spans.begin(); it != spans.end(); ++it) {
            const QString& t = it.key();
            if (t == QStringLiteral("名称") || t == QStringLiteral("区号"))
                continue;
            if (it.value().first < areaX - 1) {
                QVERIFY2(it.value().second < areaX, qPrintable(t));
                nameCut |= name.startsWith(t) && t.size() < name.size();
            } else if (it.value().first < postcodeX - 1) {
                QVERIFY2(it.value().second < postcodeX, qPrintable(t));
                areaTexts << t;
            }
        }
        QVERIFY(nameCut);
        areaTexts.sort();
        QCOMPARE(areaTexts.size(), 2);
        QVERIFY(!areaTexts[0].isEmpty() && QStringLiteral("0033").startsWith(areaTexts[0]));
        QVERIFY(!areaTexts[1].isEmpty() && QStringLiteral("00689").startsWith(areaTexts[1]) &&
                areaTexts[1] != QStringLiteral("00689"));
        QVERIFY(spans.contains(QStringLiteral("-18")) && spans.contains(QStringLiteral("-7")));
        // fitText itself: a prefix at a character boundary, the whole text when it fits.
        const QFontMetrics fm(QFont(QStringLiteral("DejaVu Sans Mono"), 20));
        const QString text = QStringLiteral("北京00689");
        for (int room : {0, 1, fm.horizontalAdvance(QStringLiteral("北")), fm.horizontalAdvance(text) - 1,
                         fm.horizontalAdvance(text)}) {
            const QString fitted = fitText(text, room, fm);
            QVERIFY(text.startsWith(fitted) && fm.horizontalAdvance(fitted) <= room);
            QVERIFY(fitted == text || fm.horizontalAdvance(text.left(fitted.size() + 1)) > room);
        }
    }

    void printerFileAndFontAreRememberedForTheNextRun()
    {
        QFont chosen(QStringLiteral("AR PL UMing CN"), 18);
        chosen.setUnderline(true);
        {
            PrintCommands commands;
            ModalScript script;
            script
                .then([&](QWidget* w) {
                    w->findChild<QLineEdit*>(QStringLiteral("filename"))->setText(file("remembered.pdf"));
                    qvtest::clickButton(w, QStringLiteral("确定"));
                })
                .then([&](QWidget* w) {
                    qobject_cast<QFontDialog*>(w)->setCurrentFont(chosen);
                    qvtest::clickButton(w, QStringLiteral("确定"));
                });
            commands.printer().setPageSize(QPageSize(QPageSize::A5));
            commands.printerSetup(nullptr);
            commands.chooseFont(nullptr);
            QVERIFY(script.finished());
        }
        PrintCommands next;
        QCOMPARE(next.printer().outputFormat(), QPrinter::PdfFormat);
        QCOMPARE(next.printer().outputFileName(), file("remembered.pdf"));
        QCOMPARE(next.printer().pageLayout().pageSize().id(), QPageSize::A5);
        QVERIFY(next.printFont());
        QCOMPARE(next.printFont()->family(), chosen.family());
        QCOMPARE(next.printFont()->pointSize(), 18);
        QVERIFY(next.printFont()->underline());
        QSettings().clear();
        QVERIFY(!PrintCommands().printFont());
    }

    void previewShowsThePagesOfTheJob()
    {
        PrintCommands commands;
        QPrinter plain(QPrinter::HighResolution);
        const qsizetype pages = pdfPages(printPdf(plain, file("preview.pdf"), 300)).size();
        commands.printer().setPrintRange(QPrinter::PageRange);
        commands.printer().setFromTo(2, 3);
        int shown = -1;
        QString title;
        ModalScript script;
        script.click(QStringLiteral("确定")).then([&](QWidget* w) {
            title = w->windowTitle();
            auto* preview = w->findChild<QPrintPreviewWidget*>();
            QVERIFY(preview);
            preview->updatePreview();
            shown = preview->pageCount();
            if (const QByteArray dir = qgetenv("QV_SCREENSHOT_DIR"); !dir.isEmpty()) {
                w->resize(900, 700);
                preview->fitInView();
                QApplication::processEvents();
                w->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/print-preview.png"));
            }
            qobject_cast<QDialog*>(w)->reject();
        });
        commands.printPreview(nullptr, EntryRowSet());  // nothing to show: the message
        commands.printPreview(nullptr, makeRows(300));
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(0), QStringLiteral("列表框中无打印内容！"));
        QCOMPARE(title, QStringLiteral("打印预览"));
        QVERIFY(pages >= 4);
        QCOMPARE(shown, 2);
        commands.printer().setPrintRange(QPrinter::AllPages);
        int first = -1;
        script.then([&](QWidget* w) {
            auto* preview = w->findChild<QPrintPreviewWidget*>();
            first = preview->pageCount();  // as opened
            preview->updatePreview();      // drawn again in the open dialog
            shown = preview->pageCount();
            title = w->windowTitle();
            qobject_cast<QDialog*>(w)->reject();
        });
        commands.printPreview(nullptr, makeRows(300));
        QCOMPARE(first, int(pages));
        QCOMPARE(shown, int(pages));
        QCOMPARE(title, QStringLiteral("打印预览"));
    }

    void cancelledPreviewShowsThePagesDrawnSoFar()
    {
        // Rows per page, from a short print in the same set-up.
        QPrinter plain(QPrinter::HighResolution);
        const int perPage = int(pdfPages(printPdf(plain, file("perpage.pdf"), 150)).value(0).size()) - 1;
        QVERIFY(perPage > 10);
        const int rows = 200000;
        const int total = (rows + perPage - 1) / perPage;

        // The window the preview was asked from takes no input meanwhile.
        QWidget main;
        auto* probe = new QPushButton(QStringLiteral("探针"), &main);
        int probed = 0;
        connect(probe, &QPushButton::clicked, [&] { ++probed; });
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));

        PrintCommands commands;
        QString label;
        std::optional<CancelWhenShown> canceller;
        canceller.emplace([&](QProgressDialog* progress) {
            label = progress->labelText();
            if (const QByteArray dir = qgetenv("QV_SCREENSHOT_DIR"); !dir.isEmpty())
                progress->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/print-preview-progress.png"));
            QTest::mouseClick(probe, Qt::LeftButton);
        });
        struct Seen {
            int pages = -1;
            QString title;
        } opened, redrawn;
        const auto seen = [](QWidget* w) {
            return Seen{w->findChild<QPrintPreviewWidget*>()->pageCount(), w->windowTitle()};
        };
        ModalScript script;
        script.then([&](QWidget* w) {
            opened = seen(w);
            QVERIFY(canceller->clicked);
            // Drawn again from the open dialog (a new orientation), and cancelled again.
            canceller.emplace();
            w->findChild<QPrintPreviewWidget*>()->updatePreview();
            QVERIFY(canceller->clicked);
            redrawn = seen(w);
            qobject_cast<QDialog*>(w)->reject();
        });
        commands.printPreview(&main, makeRows(rows));
        QVERIFY(script.finished());
        QCOMPARE(probed, 0);
        QVERIFY2(label.contains(QStringLiteral("共%1页").arg(total)), qPrintable(label));
        for (const Seen& s : {opened, redrawn}) {
            QVERIFY2(s.pages >= 1 && s.pages < total, qPrintable(QString::number(s.pages)));
            QCOMPARE(s.title, QStringLiteral("打印预览（已取消，只显示前%1页，共%2页）").arg(s.pages).arg(total));
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QProgressDialog*>(w) || !w->isVisible());
    }
};

QTEST_MAIN(PrintTest)
#include "print_uitest.moc"
