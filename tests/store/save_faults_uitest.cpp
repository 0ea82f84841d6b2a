// Saves that fail under the window: whatever stands in the way, 保存 ends in
// an error box that says what happened, the previous file (or whatever
// stands at its name) is left as it was, the edits stay in the program and
// closing still asks whether to save; once the way is clear, saving from
// that question works.
#include "app/Tmainform.h"
#include "store/Database.h"
#include "TestImages.h"
#include "UiHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qvtest;

namespace {

// Places whose noise compresses to far more than the size limit below.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(gbk("北京市"), 0, 1).dir(gbk("东城区"), 1, 2).end(2).learnedCount(0);
    uint32_t x = 7;
    for (int i = 0; i < 1500; ++i) {
        std::string name;
        for (int k = 0; k < 10; ++k)
            x = x * 1103515245u + 12345u, name += char(0xB0 + (x >> 16) % 0x28), name += char(0xA1 + (x >> 8) % 0x5E);
        b.entry(name, 1 + i % 2, std::to_string(x % 1000000), std::to_string(x % 10000));
    }
    return b.bytes;
}

struct Fault {
    const char* what;
    bool needsNonRoot;  // root writes read-only files and folders
    std::function<bool(const QDir& d)> arrange;
    const char* said;   // part of the message
    std::function<bool(const QDir& d)> untouched;
    std::function<void(const QDir& d)> clear;
};

rlimit g_oldLimit{};

}  // namespace

class SaveFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void failedSaveKeepsEverythingAndTheQuestion()
    {
        const QByteArray good = makeFile(sampleImage());
        const Fault faults[] = {
            {"a folder in the file's place", false,
             [](const QDir& d) { return QFile::remove(d.filePath("kvrn.dat")) && d.mkpath("kvrn.dat/mine"); },
             "不是普通文件", [](const QDir& d) { return QFileInfo(d.filePath("kvrn.dat/mine")).isDir(); },
             [](const QDir& d) { QDir(d.filePath("kvrn.dat")).removeRecursively(); }},
            {"a dangling link", false,
             [](const QDir& d) { return QFile::remove(d.filePath("kvrn.dat")) && QFile::link("gone.dat", d.filePath("kvrn.dat")); },
             "符号链接", [](const QDir& d) { return QFileInfo(d.filePath("kvrn.dat")).symLinkTarget() == d.filePath("gone.dat") && !QFile::exists(d.filePath("gone.dat")); },
             [](const QDir& d) { QFile::remove(d.filePath("kvrn.dat")); }},
            {"a link to itself", false,
             [](const QDir& d) { return QFile::remove(d.filePath("kvrn.dat")) && QFile::link("kvrn.dat", d.filePath("kvrn.dat")); },
             "循环", [](const QDir& d) { return QFileInfo(d.filePath("kvrn.dat")).isSymLink(); },
             [](const QDir& d) { QFile::remove(d.filePath("kvrn.dat")); }},
            {"a write cut short by the file size limit", false,
             [](const QDir&) {
                 std::signal(SIGXFSZ, SIG_IGN);
                 getrlimit(RLIMIT_FSIZE, &g_oldLimit);
                 rlimit lim = g_oldLimit;
                 lim.rlim_cur = 4096;
                 return setrlimit(RLIMIT_FSIZE, &lim) == 0;
             },
             "文件过大", [good](const QDir& d) { return readFile(d.filePath("kvrn.dat")) == good; },
             [](const QDir&) { setrlimit(RLIMIT_FSIZE, &g_oldLimit); }},
            {"a read-only file", true,
             [](const QDir& d) { return QFile::setPermissions(d.filePath("kvrn.dat"), QFile::ReadOwner); },
             "没有写入权限", [good](const QDir& d) { return readFile(d.filePath("kvrn.dat")) == good; },
             [](const QDir& d) { QFile::setPermissions(d.filePath("kvrn.dat"), QFile::ReadOwner | QFile::WriteOwner); }},
            {"a read-only file in a read-only folder", true,
             [](const QDir& d) {
                 return QFile::setPermissions(d.filePath("kvrn.dat"), QFile::ReadOwner) &&
                        chmod(QFile::encodeName(d.path()).constData(), 0555) == 0;
             },
             "没有写入权限", [good](const QDir& d) { return readFile(d.filePath("kvrn.dat")) == good; },
             [](const QDir& d) {
                 chmod(QFile::encodeName(d.path()).constData(), 0755);
                 QFile::setPermissions(d.filePath("kvrn.dat"), QFile::ReadOwner | QFile::WriteOwner);
             }},
        };
        for (const Fault& f : faults) {
            if (f.needsNonRoot && geteuid() == 0) {
                qInfo("skipped as root: %s", f.what);
                continue;
            }
            TempDatabase db;
            const QDir d(db.dir.path());
            QVERIFY(writeFile(db.path(), good));
            auto w = openMainWindow(db.path());
            action(*w, "mmnewnode")->trigger();
            const int edited = w->database().tree.count();
            QVERIFY2(f.arrange(d), f.what);
            ModalScript script;
            script.click(QStringLiteral("确定"));
            action(*w, "mmsave")->trigger();
            const bool untouched = f.untouched(d);
            f.clear(d);  // before any check can end the test with the fault still in place
            QVERIFY2(script.finished(), f.what);
            QCOMPARE(script.icons.value(0), QStringLiteral("critical"));
            QVERIFY2(script.texts.value(0).contains(QString::fromUtf8(f.said)), qPrintable(script.texts.value(0)));
            QVERIFY2(script.texts.value(0).contains(QStringLiteral("没有丢失")), f.what);
            QVERIFY2(untouched, f.what);
            QVERIFY(w->database().ModifiedFlag);
            QCOMPARE(w->database().tree.count(), edited);

            // Closing still asks; 放弃 keeps the window and the edits.
            script.click(QStringLiteral("放弃"));
            w->close();
            QCOMPARE(script.texts.value(1), QStringLiteral("数据库已修改,是否保存?"));
            QVERIFY(w->isVisible());
            // The way clear, the question's 是 saves and closes.
            script.click(QStringLiteral("(&Y)是"));
            w->close();
            QVERIFY2(!w->isVisible(), f.what);
            qv::Database again;
            QVERIFY2(again.load(db.path()).ok(), f.what);
            QCOMPARE(again.tree.count(), edited);
        }
    }
};

QTEST_MAIN(SaveFaultsTest)
#include "save_faults_uitest.moc"
