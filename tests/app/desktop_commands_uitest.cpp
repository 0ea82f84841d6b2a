// The about box, the help file, the home-page and mail links (recorded, not
// opened) and the desktop launcher.
#include "app/AboutDialog.h"
#include "app/Application.h"
#include "app/DesktopLauncher.h"
#include "app/HelpLinks.h"
#include "widgets/DesktopOpener.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qv;

namespace {

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString entryValue(const QString& text, const QString& key)
{
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QString();
}

// Environment variables set for one test and put back afterwards.
struct ScopedEnv {
    ScopedEnv(const char* name, const QByteArray& value) : name(name), old(qgetenv(name)), had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { had ? qputenv(name, old) : qunsetenv(name); }
    const char* name;
    QByteArray old;
    bool had;
};

}  // namespace

class DesktopCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qv::setUpChineseUi(*qApp); }

    void aboutBoxShowsItsTextsAndFitsItsSize()
    {
        RecordingDesktopOpener opener;
        QWidget main;
        main.setGeometry(100, 100, 544, 375);
        TForm_about about(opener, &main);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.windowTitle(), QStringLiteral("关于本软件"));
        QCOMPARE(about.size(), QSize(357, 229));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        const Qt::WindowFlags flags = about.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));

        QCOMPARE(about.Label1->text(), QStringLiteral("关于Qarvenda"));
        QCOMPARE(about.Label1->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(about.Label1->font().bold() && about.Label1->font().italic());
        QCOMPARE(about.Label1->font().pixelSize(), 16);
        QCOMPARE(about.Label1->font().family(), QStringLiteral("楷体_GB2312"));
        QCOMPARE(about.Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(about.GroupBox1->title(), QStringLiteral("软件信息"));
        QCOMPARE(about.Label2->text().split(QLatin1Char('\n')),
                 (QStringList{QStringLiteral("软件名称：《Tolmerix》"), QStringLiteral("版本号：2.0.0"),
                              QStringLiteral("功能介绍：能查询全国2500多个城市的邮政编码、电话区号，并能打印导出相关数据！")}));
        QCOMPARE(about.GroupBox2->title(), QStringLiteral("作者信息"));
        QVERIFY(about.Label5->text().startsWith(QStringLiteral("作者：")));
        QVERIFY(about.Label5->text().size() > 3);
        QCOMPARE(about.Label3->text(), QStringLiteral("主页:https://qarvenda.example.org/"));
        QCOMPARE(about.Label4->text(), QStringLiteral("Email:qarvenda@example.org"));
        QCOMPARE(about.Label6->text(), QStringLiteral("敬告：使用此软件是您的自愿行为，作者不保证所有的数据完全正确！"
                                                      "作者不对因为使用此软件造成的任何损失负责！"));
        for (QLabel* l : {about.Label2, about.Label5, about.Label3, about.Label4, about.Label6}) {
            QCOMPARE(l->font().family(), QStringLiteral("宋体"));
            QCOMPARE(l->font().pixelSize(), 12);
            // Every text is shown whole, inside the box.
            const int need = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
            QVERIFY2(l->height() >= need && l->width() >= (l->wordWrap() ? 0 : l->sizeHint().width()),
                     qPrintable(l->text()));
            QVERIFY(about.rect().contains(QRect(l->mapTo(&about, QPoint(0, 0)), l->size())));
        }
        for (QLabel* l : {about.Label3, about.Label4}) {
            QCOMPARE(l->cursor().shape(), Qt::PointingHandCursor);
            QVERIFY(l->autoFillBackground());
            QCOMPARE(l->palette().color(QPalette::Window), QColor(Qt::yellow));
        }
        // Centred on the main window.
        QVERIFY((about.frameGeometry().center() - main.frameGeometry().center()).manhattanLength() < 4);

        QTest::mouseClick(about.Label3, Qt::LeftButton);
        QTest::mouseClick(about.Label5, Qt::LeftButton);  // not a link
        QTest::mouseClick(about.Label4, Qt::LeftButton);
        QCOMPARE(opener.opened, (QList<QUrl>{QUrl(QStringLiteral("https://qarvenda.example.org/")),
                                             QUrl(QStringLiteral("mailto:qarvenda@example.org"))}));
    }

    void helpOpensTheFileBesideTheProgramOnlyWhenThere()
    {
        QTemporaryDir dir;
        RecordingDesktopOpener opener;
        QVERIFY(!openHelp(opener, dir.path()));
        QVERIFY(opener.opened.isEmpty());
        QFile chm(dir.filePath(QStringLiteral("venlomar.chm")));
        QVERIFY(chm.open(QIODevice::WriteOnly));
        chm.close();
        QVERIFY(openHelp(opener, dir.path()));
        QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("venlomar.chm")))});
        // A folder of that name is not a help file.
        QTemporaryDir other;
        QVERIFY(QDir(other.path()).mkdir(QStringLiteral("venlomar.chm")));
        QVERIFY(!openHelp(opener, other.path()));
        QCOMPARE(opener.opened.size(), 1);
    }

    void launcherIsWrittenOnceAndReplaced()
    {
        QTemporaryDir desktop;
        // A program path that needs quoting and escaping in Exec.
        const QString odd = QStringLiteral("/opt/My Apps/50%/qar\"venda");
        QVERIFY(writeDesktopLauncher(desktop.path(), odd));
        const QString first = readText(desktop.filePath(QStringLiteral("Qarvenda.desktop")));
        QCOMPARE(entryValue(first, QStringLiteral("Exec")), QStringLiteral("\"/opt/My Apps/50%%/qar\\\\\"venda\""));
        QCOMPARE(entryValue(first, QStringLiteral("Path")), QStringLiteral("/opt/My Apps/50%"));
        QCOMPARE(entryValue(first, QStringLiteral("Name")), QStringLiteral("Qarvenda"));
        QVERIFY(!entryValue(first, QStringLiteral("Icon")).isEmpty());

        // Second time: the running program, replacing the first file.
        QVERIFY(createDesktopLauncher([&] { return desktop.path(); }));
        QCOMPARE(QDir(desktop.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Qarvenda.desktop")});
        const QString path = desktop.filePath(QStringLiteral("Qarvenda.desktop"));
        const QString second = readText(path);
        QCOMPARE(entryValue(second, QStringLiteral("Exec")), QCoreApplication::applicationFilePath());
        QCOMPARE(entryValue(second, QStringLiteral("Path")), QCoreApplication::applicationDirPath());
        QVERIFY(QFileInfo(path).permissions() & QFileDevice::ExeOwner);
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate (desktop-file-utils) is needed");
        for (const QString& text : {first, second}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0);
            f.close();
            QProcess p;
            p.start(validator, {path});
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardOutput().constData());
        }

        // Nowhere to write: no folder, or a file in its place. Nothing is created.
        QVERIFY(!writeDesktopLauncher(desktop.filePath(QStringLiteral("missing")), odd));
        QVERIFY(!writeDesktopLauncher(path, odd));
        QVERIFY(!createDesktopLauncher([] { return QString(); }));
        QCOMPARE(QDir(desktop.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    }

    void desktopFolderComesFromTheUserDirs()
    {
        QTemporaryDir home;
        ScopedEnv h("HOME", home.path().toLocal8Bit());
        ScopedEnv c("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
        QCOMPARE(userDesktopFolder(), home.filePath(QStringLiteral("Desktop")));
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
        QFile dirs(home.filePath(QStringLiteral("config/user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/\xe6\xa1\x8c\xe9\x9d\xa2\"\n");  // $HOME/桌面
        dirs.close();
        QCOMPARE(userDesktopFolder(), home.filePath(QStringLiteral("桌面")));
    }
};

QTEST_MAIN(DesktopCommandsTest)
#include "desktop_commands_uitest.moc"
