// Printing the list to a PDF file and reading it back with poppler's
// pdftotext: caption line per page, row order, page breaks, column positions
// measured in the printing font; and the three printing commands.
#include "app/Application.h"
#include "exchange/ui/ListPrinter.h"
#include "exchange/ui/PrintCommands.h"
#include "lookup/EntryRows.h"
#include "store/GbkText.h"
#include "UiHelpers.h"

#include <QApplication>
#include <QLineEdit>
#include <QFontDialog>
#include <QFontMetricsF>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;
using qvtest::ModalScript;

namespace {

const QString kCaption = QStringLiteral("名称 区号 邮编 所属");

EntryRowSet makeRows(int n)
{
    // Listed in descending order, as after a click on the name column.
    EntryRowSet set;
    const uint32_t dir = set.addDirectoryName(*gbk::fromUtf8("广东省"));
    for (int i = n - 1; i >= 0; --i) {
        EntryRow row;
        row.directory = dir;
        const std::string name = *gbk::fromUtf8(QStringLiteral("地名%1").arg(i, 4, 10, QLatin1Char('0')).toStdString());
        row.setTexts(name, "0755", std::to_string(510000 + i));
        set.rows.push_back(row);
    }
    return set;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Pages of `pdftotext -layout`, each as its non-empty lines with runs of
// blanks folded to one. A page that printed nothing is an empty list.
QList<QStringList> pdfPages(const QString& pdf)
{
    QStringList raw = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                          .split(QLatin1Char('\f'));
    raw.removeLast();  // after the last page's form feed
    QList<QStringList> pages;
    for (const QString& page : raw) {
        QStringList lines;
        for (const QString& l : page.split(QLatin1Char('\n')))
            if (!l.trimmed().isEmpty())
                lines << l.simplified();
        pages << lines;
    }
    return pages;
}

struct Word {
    double x, y;
};
// Position (points, top left) of each word of the first page, by its text.
QMultiMap<QString, Word> pdfWords(const QString& pdf)
{
    const QString html = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-l"),
                                                          QStringLiteral("1"), pdf, QStringLiteral("-")});
    static const QRegularExpression re(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    QMultiMap<QString, Word> words;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.insert(m.captured(3), {m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

void printToPdf(QPrinter& printer, const QString& path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qv::setUpChineseUi(*qApp); }

    void pagesCarryTheCaptionAndTheRowsInListOrder()
    {
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        const QString many = dir.filePath(QStringLiteral("many.pdf"));
        printToPdf(printer, many);
        const EntryRowSet rows = makeRows(150);
        QCOMPARE(printEntryRows(printer, std::nullopt, rows), QString());

        const auto pages = pdfPages(many);
        QVERIFY2(pages.size() >= 3, qPrintable(QString::number(pages.size())));
        QStringList printed;
        for (const QStringList& page : pages) {
            QVERIFY(page.size() >= 2);
            QCOMPARE(page.first(), kCaption);
            printed << page.mid(1);
        }
        QStringList want;
        for (int i = 149; i >= 0; --i)
            want << QStringLiteral("地名%1 0755 %2 广东省").arg(i, 4, 10, QLatin1Char('0')).arg(510000 + i);
        QCOMPARE(printed, want);
        // Full pages hold the same number of rows.
        const int perPage = int(pages.first().size()) - 1;
        for (int p = 0; p + 1 < pages.size(); ++p)
            QCOMPARE(int(pages[p].size()) - 1, perPage);

        // Exactly two pages' worth: the break after the last row ejects no blank page.
        const QString exact = dir.filePath(QStringLiteral("exact.pdf"));
        printToPdf(printer, exact);
        QCOMPARE(printEntryRows(printer, std::nullopt, makeRows(2 * perPage)), QString());
        QCOMPARE(pdfPages(exact).size(), 2);
        QCOMPARE(pdfPages(exact).last().size(), perPage + 1);

        const QString one = dir.filePath(QStringLiteral("one.pdf"));
        printToPdf(printer, one);
        QCOMPARE(printEntryRows(printer, std::nullopt, makeRows(1)), QString());
        QCOMPARE(pdfPages(one), (QList<QStringList>{{kCaption, QStringLiteral("地名0000 0755 510000 广东省")}}));
    }

    void columnsAndPitchFollowTheFont()
    {
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        double previousX = 0, previousPitch = 0;
        for (int points : {10, 16, 24}) {  // 所属 of 32 pt falls off an A4 page
            const QFont font(QStringLiteral("AR PL UMing CN"), points);
            const QString pdf = dir.filePath(QStringLiteral("%1.pdf").arg(points));
            printToPdf(printer, pdf);
            QCOMPARE(printEntryRows(printer, font, makeRows(2)), QString());
            const auto words = pdfWords(pdf);
            QVERIFY(words.contains(QStringLiteral("所属")));
            // w and h measured in the same font on the printer, in points.
            const QFontMetricsF fm(font, &printer);
            const double scale = 72.0 / printer.resolution();
            const double w = fm.horizontalAdvance(QStringLiteral("字")) * scale;
            const double pitch = (fm.height() + printer.resolution() / 10) * scale;
            const double left = words.value(QStringLiteral("名称")).x;
            QVERIFY(qAbs(words.value(QStringLiteral("区号")).x - left - 13 * w) < 1);
            QVERIFY(qAbs(words.value(QStringLiteral("邮编")).x - left - 16 * w) < 1);
            QVERIFY(qAbs(words.value(QStringLiteral("所属")).x - left - 21 * w) < 1);
            const auto rowWords = words.values(QStringLiteral("0755"));  // newest first
            QCOMPARE(rowWords.size(), 2);
            const double rowPitch = rowWords[0].y - rowWords[1].y;
            QVERIFY2(qAbs(rowPitch - pitch) < 0.5, qPrintable(QStringLiteral("%1 %2").arg(rowPitch).arg(pitch)));
            QVERIFY(words.value(QStringLiteral("所属")).x - left > previousX);
            QVERIFY(rowPitch > previousPitch);
            previousX = words.value(QStringLiteral("所属")).x - left;
            previousPitch = rowPitch;
        }
    }

    void emptyListAndNowhereToPrint()
    {
        QTemporaryDir dir;
        PrintCommands commands;
        ModalScript script;
        script.click(QStringLiteral("确定")).click(QStringLiteral("确定")).click(QStringLiteral("确定"));
        printToPdf(commands.printer(), dir.filePath(QStringLiteral("empty.pdf")));
        QVERIFY(!commands.printList(nullptr, EntryRowSet()));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("empty.pdf"))));
        // No printer and no file: the user is sent to 打印机设置.
        printToPdf(commands.printer(), QString());
        QVERIFY(!commands.printList(nullptr, makeRows(3)));
        // A file that cannot be written.
        printToPdf(commands.printer(), dir.filePath(QStringLiteral("gone/out.pdf")));
        QVERIFY(!commands.printList(nullptr, makeRows(3)));
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(0), QStringLiteral("列表框中无打印内容！"));
        QCOMPARE(script.icons, (QStringList{QStringLiteral("none"), QStringLiteral("critical"), QStringLiteral("critical")}));
        QVERIFY(script.texts.value(1).contains(QStringLiteral("“打印机设置”")));
        QVERIFY(script.texts.value(2).contains(dir.filePath(QStringLiteral("gone/out.pdf"))));
    }

    void fontDialogKeepsTheLastConfirmedFont()
    {
        PrintCommands commands;
        QVERIFY(!commands.printFont());  // the printer's default until confirmed
        const QString kaiti = QFontInfo(QFont(QStringLiteral("楷体_GB2312"), 14)).family();
        QString openedOn;
        int openedSize = 0;
        ModalScript script;
        auto look = [&](QWidget* w) {
            auto* d = qobject_cast<QFontDialog*>(w);
            QVERIFY(d && d->objectName() == QStringLiteral("FontDialog1"));
            openedOn = QFontInfo(d->currentFont()).family();
            openedSize = d->currentFont().pointSize();
        };
        script.then([&](QWidget* w) { look(w); qvtest::clickButton(w, QStringLiteral("取消")); });
        commands.chooseFont(nullptr);
        QCOMPARE(openedOn, kaiti);
        QCOMPARE(openedSize, 14);
        QVERIFY(!commands.printFont());

        QFont chosen(QStringLiteral("AR PL UMing CN"), 20);
        chosen.setUnderline(true);
        script.then([&](QWidget* w) {
            static_cast<QFontDialog*>(w)->setCurrentFont(chosen);
            qvtest::clickButton(w, QStringLiteral("确定"));
        });
        commands.chooseFont(nullptr);
        QVERIFY(commands.printFont());
        QCOMPARE(commands.printFont()->pointSize(), 20);
        QCOMPARE(commands.printFont()->family(), QStringLiteral("AR PL UMing CN"));
        QVERIFY(commands.printFont()->underline());

        // Cancelling later keeps it, and the dialog opens on it.
        script.then([&](QWidget* w) { look(w); qvtest::clickButton(w, QStringLiteral("取消")); });
        commands.chooseFont(nullptr);
        QVERIFY(script.finished());
        QCOMPARE(openedSize, 20);
        QCOMPARE(commands.printFont()->pointSize(), 20);
    }

    void printerSetupChoicesHoldForLaterJobs()
    {
        QTemporaryDir dir;
        PrintCommands commands;
        printToPdf(commands.printer(), dir.filePath(QStringLiteral("first.pdf")));
        // The user types another output file, confirms once and cancels once.
        auto answer = [&](const char* file, const char* button) {
            return [&dir, file, button](QWidget* w) {
                QVERIFY(qobject_cast<QPrintDialog*>(w));
                QCOMPARE(w->windowTitle(), QStringLiteral("打印机设置"));
                auto* name = w->findChild<QLineEdit*>(QStringLiteral("filename"));
                QVERIFY(name);
                name->setText(dir.filePath(QString::fromLatin1(file)));
                qvtest::clickButton(w, QString::fromUtf8(button));
            };
        };
        ModalScript script;
        script.then(answer("chosen.pdf", "确定")).then(answer("cancelled.pdf", "取消"));
        commands.printerSetup(nullptr);
        commands.printerSetup(nullptr);
        QVERIFY(script.finished());
        QVERIFY(commands.printList(nullptr, makeRows(2)));
        QCOMPARE(pdfPages(dir.filePath(QStringLiteral("chosen.pdf"))).size(), 1);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("cancelled.pdf"))));
    }
};

QTEST_MAIN(PrintTest)
#include "print_uitest.moc"
