// Printing the list to PDF, read back with poppler's pdftotext: caption line
// per page, row order, page breaks, columns measured in the printing font;
// and the three printing commands with their dialogs.
#include "app/Application.h"
#include "exchange/ui/ListPrinter.h"
#include "exchange/ui/PrintCommands.h"
#include "store/GbkText.h"
#include "UiHelpers.h"

#include <QFontDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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

// Prints `rows` rows to the PDF `path`; the path, or nothing when the job failed.
QString printPdf(QPrinter& printer, const QString& path, int rows, const std::optional<QFont>& font = std::nullopt)
{
    toPdf(printer, path);
    return printEntryRows(printer, font, makeRows(rows)).isEmpty() ? path : QString();
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const char* name) { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase() { qv::setUpChineseUi(*qApp); }

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
        QVERIFY(printEntryRows(printer, std::nullopt, set).isEmpty());
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
};

QTEST_MAIN(PrintTest)
#include "print_uitest.moc"
