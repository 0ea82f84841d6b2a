// The about box, the help file, the home-page and mail links (recorded, not
// opened) and the desktop launcher.
#include "app/TForm_about.h"
#include "app/Application.h"
#include "app/DesktopLauncher.h"
#include "app/HelpLinks.h"
#include "RecordingDesktopOpener.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;

namespace {

QString entryValue(const QString& path, const QString& key)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QString();
}

bool touch(const QString& path) { return QFile(path).open(QIODevice::WriteOnly); }

}  // namespace

class DesktopCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qv::setUpChineseUi(*qApp); }

    void aboutBoxShowsItsTextsAndOpensItsLinks()
    {
        RecordingDesktopOpener opener;
        QWidget main;
        main.setGeometry(100, 100, 544, 375);
        main.show();
        TForm_about about(opener, &main);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.windowTitle(), QStringLiteral("关于本软件"));
        // 357 x 229, taller only when the face at hand needs it for every line (checked below).
        QCOMPARE(about.width(), 357);
        QVERIFY(about.height() >= 229 && about.height() <= 300);
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY((about.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)) == Qt::WindowCloseButtonHint);
        QVERIFY((about.frameGeometry().center() - main.frameGeometry().center()).manhattanLength() < 4);
        QCOMPARE(about.Image1->pixmap().size(), QSize(32, 32));
        const QFont title = about.Label1->font();
        QVERIFY(title.family() == QStringLiteral("楷体_GB2312") && title.pixelSize() == 16 && title.bold() && title.italic());
        QCOMPARE(about.Label1->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(about.GroupBox1->title() + about.GroupBox2->title(), QStringLiteral("软件信息作者信息"));
        QVERIFY(about.Label5->text().startsWith(QStringLiteral("作者：")) && about.Label5->text().size() > 3);

        const QList<QPair<QLabel*, QString>> texts = {
            {about.Label2,
             QStringLiteral("软件名称：《Tolmerix》\n版本号：2.0.0\n"
                            "功能介绍：能查询全国2500多个城市的邮政编码、电话区号，并能打印导出相关数据！")},
            {about.Label3, QStringLiteral("主页:Qarvenda 用户指南")},
            {about.Label4, QStringLiteral("Email:") +
                               (mailAddress().isEmpty() ? QStringLiteral("见用户指南“报告问题”") : mailAddress())},
            {about.Label6, QStringLiteral("敬告：使用此软件是您的自愿行为，作者不保证所有的数据完全正确！"
                                          "作者不对因为使用此软件造成的任何损失负责！")},
            {about.Label5, about.Label5->text()}};
        for (const auto& [l, text] : texts) {
            QCOMPARE(l->text(), text);
            QVERIFY(l->font().family() == QStringLiteral("宋体") && l->font().pixelSize() == 12);
            // Shown whole, inside the box.
            QVERIFY2(l->height() >= (l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height()) &&
                         (l->wordWrap() || l->width() >= l->sizeHint().width()),
                     qPrintable(text));
            QVERIFY(about.rect().contains(QRect(l->mapTo(&about, QPoint(0, 0)), l->size())));
            const bool link = l == about.Label3 || l == about.Label4;
            QCOMPARE(l->cursor().shape() == Qt::PointingHandCursor, link);
            QCOMPARE(l->autoFillBackground() && l->palette().color(QPalette::Window) == QColor(Qt::yellow), link);
            QTest::mouseClick(l, Qt::LeftButton);
        }
        // The guide's front page, and a mail or the guide's page on reporting problems beside it.
        QCOMPARE(opener.opened.size(), 2);
        const QUrl home = opener.opened[0], mail = opener.opened[1];
        QVERIFY2(home.isLocalFile() && home.path().endsWith(QStringLiteral("/guide/index.html")),
                 qPrintable(home.toString()));
        if (mailAddress().isEmpty())
            QCOMPARE(mail, QUrl::fromLocalFile(
                               QFileInfo(home.toLocalFile()).dir().filePath(QStringLiteral("problems.html"))));
        else
            QCOMPARE(mail, QUrl(QStringLiteral("mailto:") + mailAddress()));
    }

    void linksLeadToTheGuideWhereverItIs()
    {
        QTemporaryDir root;
        const QString installed = root.filePath(QStringLiteral("prefix/share/doc/qarvenda/guide"));
        const QString built = root.filePath(QStringLiteral("build/guide"));
        for (const QString& d : {installed, built, root.filePath(QStringLiteral("prefix/bin"))})
            QVERIFY(QDir().mkpath(d));
        for (const QString& d : {installed, built})
            QVERIFY(touch(d + QStringLiteral("/index.html")) && touch(d + QStringLiteral("/problems.html")));
        const struct {
            QString program, guide;
        } cases[] = {
            {root.filePath(QStringLiteral("prefix/bin")), installed},
            {root.filePath(QStringLiteral("build")), built},
        };
        for (const auto& c : cases) {
            RecordingDesktopOpener opener;
            QCOMPARE(homePageUrl(c.program), QUrl::fromLocalFile(c.guide + QStringLiteral("/index.html")));
            QCOMPARE(mailUrl(c.program), mailAddress().isEmpty()
                                             ? QUrl::fromLocalFile(c.guide + QStringLiteral("/problems.html"))
                                             : QUrl(QStringLiteral("mailto:") + mailAddress()));
            QVERIFY(!mailUrl(c.program).toString().contains(QStringLiteral("example")));
            // 帮助: the guide, unless the help file of old lies beside the program.
            QVERIFY(openHelp(opener, c.program));
            QVERIFY(touch(helpFilePath(c.program)));
            QVERIFY(openHelp(opener, c.program));
            QCOMPARE(opener.opened, (QList<QUrl>{QUrl::fromLocalFile(c.guide + QStringLiteral("/index.html")),
                                                 QUrl::fromLocalFile(helpFilePath(c.program))}));
        }
        // The build puts the guide beside the programs, every page it links to included.
        const QString binary = qEnvironmentVariable("QV_BINARY_DIR");
        if (!binary.isEmpty()) {
            const QString front = QDir(binary).filePath(QStringLiteral("guide/index.html"));
            QCOMPARE(userGuideFile(binary), front);
            QVERIFY(QFileInfo(QFileInfo(front).dir().filePath(QStringLiteral("problems.html"))).isFile());
        }
    }

    void helpOpensTheFileBesideTheProgramOnlyWhenThere()
    {
        QTemporaryDir dir, other;
        RecordingDesktopOpener opener;
        // Without a help file or a guide there is nothing to open (unless one is installed for the build's prefix).
        if (!QFileInfo(userGuideFile(dir.path())).isFile()) {
            QVERIFY(!openHelp(opener, dir.path()));
            QVERIFY(QDir(other.path()).mkdir(QStringLiteral("venlomar.chm")));  // a folder is no help file
            QVERIFY(!openHelp(opener, other.path()));
        }
        opener.opened.clear();
        QVERIFY(touch(dir.filePath(QStringLiteral("venlomar.chm"))));
        QVERIFY(openHelp(opener, dir.path()));
        QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("venlomar.chm")))});
    }

    void launcherIsWrittenOnceAndReplaced()
    {
        QTemporaryDir desktop;
        const QString path = desktop.filePath(QStringLiteral("Qarvenda.desktop"));
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate (desktop-file-utils) is needed");
        auto valid = [&] { return QProcess::execute(validator, {path}) == 0; };

        // A program path that needs quoting and escaping in Exec.
        QVERIFY(writeDesktopLauncher(desktop.path(), QStringLiteral("/opt/My Apps/50%/qar\"venda"),
                                     QStringLiteral("/home/u/数据 1/")));
        QCOMPARE(entryValue(path, QStringLiteral("Exec")), QStringLiteral("\"/opt/My Apps/50%%/qar\\\\\"venda\""));
        QCOMPARE(entryValue(path, QStringLiteral("Path")), QStringLiteral("/home/u/数据 1"));
        QCOMPARE(entryValue(path, QStringLiteral("Icon")), QStringLiteral("qarvenda"));  // the theme's, if installed
        QVERIFY(valid());
        // An installed program names its installed icon.
        QTemporaryDir prefix;
        const QString svg = prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/qarvenda.svg"));
        QVERIFY(QDir(prefix.path()).mkpath(QFileInfo(svg).path()) && touch(svg));
        QVERIFY(writeDesktopLauncher(desktop.path(), prefix.filePath(QStringLiteral("bin/qarvenda")), prefix.path()));
        QCOMPARE(entryValue(path, QStringLiteral("Icon")), QFileInfo(svg).canonicalFilePath());
        // Again, for the running program: one file, replaced, executable, and
        // started where the program works now, not where it lies.
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        QVERIFY(createDesktopLauncher([&] { return desktop.path(); }));
        QDir::setCurrent(before);
        QCOMPARE(QDir(desktop.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Qarvenda.desktop")});
        QCOMPARE(entryValue(path, QStringLiteral("Exec")), QCoreApplication::applicationFilePath());
        QCOMPARE(entryValue(path, QStringLiteral("Path")), QDir(work.path()).canonicalPath());
        QCOMPARE(entryValue(path, QStringLiteral("Name")), QStringLiteral("Qarvenda"));
        QVERIFY(QFileInfo(path).permissions() & QFileDevice::ExeOwner);
        QVERIFY(valid());
        // Nowhere to write: nothing is created.
        QVERIFY(!writeDesktopLauncher(desktop.filePath(QStringLiteral("missing")), QStringLiteral("/x"),
                                      QStringLiteral("/")));
        QVERIFY(!writeDesktopLauncher(path, QStringLiteral("/x"), QStringLiteral("/")));
        QVERIFY(!createDesktopLauncher([] { return QString(); }));
        QCOMPARE(QDir(desktop.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    }

    void desktopFolderComesFromTheUserDirs()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        const QString plain = userDesktopFolder();
        QFile dirs(home.filePath(QStringLiteral("user-dirs.dirs")));
        dirs.open(QIODevice::WriteOnly);
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/\xe6\xa1\x8c\xe9\x9d\xa2\"\n");  // $HOME/桌面
        dirs.close();
        const QString configured = userDesktopFolder();
        qputenv("HOME", oldHome);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(plain, home.filePath(QStringLiteral("Desktop")));
        QCOMPARE(configured, home.filePath(QStringLiteral("桌面")));
    }
};

QTEST_MAIN(DesktopCommandsTest)
#include "desktop_commands_uitest.moc"
