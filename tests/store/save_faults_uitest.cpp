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
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
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

    // Two windows on one file: the second is told and opens read-only; its
    // save says why it cannot write and goes to another name instead.
    void aSecondWindowIsToldAndOpensReadOnly()
    {
        TempDatabase db;
        const QDir d(db.dir.path());
        const QByteArray good = makeFile(sampleImage());
        QVERIFY(writeFile(db.path(), good));
        QVERIFY(writeFile(d.filePath("kvrn.dat.0a1b2c"), "left by a killed save"));
        auto first = openMainWindow(db.path());
        QVERIFY(!QFile::exists(d.filePath("kvrn.dat.0a1b2c")));
        QVERIFY(QFile::exists(d.filePath("kvrn.dat.lock")));

        // Pictures of the question and the read-only window, when asked for.
        const QString shots = qEnvironmentVariable("QV_SCREENSHOT_DIR");
        auto shoot = [&](QWidget* w, const QString& name) {
            if (!shots.isEmpty())
                w->grab().save(shots + QLatin1Char('/') + name);
        };
        ModalScript script;
        QString asked;
        script.then([&](QWidget* m) {
            asked = qobject_cast<QMessageBox*>(m)->text();
            shoot(m, QStringLiteral("second-window-question.png"));
            clickButton(m, QStringLiteral("只读打开"));
        });
        auto second = openMainWindow(db.path());
        QVERIFY(script.finished());
        QVERIFY2(asked.contains(QStringLiteral("已在另一个窗口中打开（进程 %1").arg(getpid())), qPrintable(asked));
        shoot(second.get(), QStringLiteral("read-only-window.png"));
        QCOMPARE(second->windowTitle(), QStringLiteral("Tolmerix V2.0.0（只读）"));
        QVERIFY(second->findChild<QLabel*>(QStringLiteral("StatusPanel0"))->text().startsWith(QStringLiteral("只读")));
        QCOMPARE(first->windowTitle(), QStringLiteral("Tolmerix V2.0.0"));

        action(*second, "mmnewnode")->trigger();
        const int edited = second->database().tree.count();
        script.click(QStringLiteral("取消"));
        action(*second, "mmsave")->trigger();
        QVERIFY(script.finished());
        QVERIFY2(script.texts.value(0).contains(QStringLiteral("只读")) &&
                     script.texts.value(0).contains(QStringLiteral("另一个窗口")),
                 qPrintable(script.texts.value(0)));
        QCOMPARE(readFile(db.path()), good);
        QVERIFY(second->database().ModifiedFlag);

        const QString other = d.filePath("mine.dat");
        script.click(QStringLiteral("另存为…")).then([&](QWidget* m) {
            auto* dialog = qobject_cast<QFileDialog*>(m);
            QVERIFY(dialog);
            dialog->selectFile(other);
            static_cast<QDialog*>(dialog)->accept();
        });
        action(*second, "mmsave")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(readFile(db.path()), good);
        qv::Database saved;
        QVERIFY(saved.load(other).ok());
        QCOMPARE(saved.tree.count(), edited);
        // From then on the window works on its own file, writable.
        QCOMPARE(second->database().path(), other);
        QCOMPARE(second->windowTitle(), QStringLiteral("Tolmerix V2.0.0"));
        QVERIFY(!second->database().ModifiedFlag);
        QVERIFY(QFile::exists(other + ".lock"));
        second->close();
        QVERIFY(!second->isVisible());
        QVERIFY(!QFile::exists(other + ".lock"));
        first.reset();
        QVERIFY(!QFile::exists(d.filePath("kvrn.dat.lock")));
    }

    // A window opened anyway finds the file saved by the other one: 另存为,
    // 覆盖 and 取消 each lose nothing that was not meant to go.
    void aFileChangedSinceItWasReadIsNotOverwrittenUnasked()
    {
        const struct {
            const char* choice;
            bool fileIsSecondWindows;  // else the first window's save stays
            bool savedElsewhere;
            bool stillModified;
        } cases[] = {
            {"另存为…", false, true, false},
            {"覆盖", true, false, false},
            {"取消", false, false, true},
        };
        for (const auto& c : cases) {
            const QString choice = QString::fromUtf8(c.choice);
            TempDatabase db;
            QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
            const QString other = db.dir.filePath(QStringLiteral("second.dat"));
            auto first = openMainWindow(db.path());
            ModalScript script;
            script.click(QStringLiteral("仍然打开"));
            auto second = openMainWindow(db.path());
            QCOMPARE(second->windowTitle(), QStringLiteral("Tolmerix V2.0.0"));

            action(*first, "mmnewnode")->trigger();
            action(*first, "mmsave")->trigger();  // its own file, unchanged: no question
            const int firsts = first->database().tree.count();
            action(*second, "mmnewnode")->trigger();
            action(*second, "mmnewnode")->trigger();
            const int seconds = second->database().tree.count();
            QString warned;
            script.then([&](QWidget* m) {
                auto* box = qobject_cast<QMessageBox*>(m);
                warned = box && box->icon() == QMessageBox::Warning ? box->text() : QString();
                if (const QString shots = qEnvironmentVariable("QV_SCREENSHOT_DIR"); !shots.isEmpty())
                    m->grab().save(shots + QStringLiteral("/changed-on-disk.png"));
                clickButton(m, choice);
            });
            if (c.savedElsewhere) {
                script.then([&](QWidget* m) {
                    qobject_cast<QFileDialog*>(m)->selectFile(other);
                    static_cast<QDialog*>(m)->accept();
                });
            }
            action(*second, "mmsave")->trigger();
            QVERIFY2(script.finished(), c.choice);
            QVERIFY2(warned.contains(QStringLiteral("已被改过")), qPrintable(warned));
            qv::Database file;
            QVERIFY(file.load(db.path()).ok());
            QCOMPARE(file.tree.count(), c.fileIsSecondWindows ? seconds : firsts);
            qv::Database elsewhere;
            QCOMPARE(elsewhere.load(other).ok(), c.savedElsewhere);
            QVERIFY(!c.savedElsewhere || elsewhere.tree.count() == seconds);
            QCOMPARE(second->database().ModifiedFlag, c.stillModified);
            QCOMPARE(second->database().tree.count(), seconds);
            second->database().ModifiedFlag = false;
        }
    }

    // The data folder cannot be written: one message says why, the bundled
    // data opens read-only, a save says why it cannot write and where it
    // could, and with nothing changed closing asks nothing.
    void anUnwritableHomeGivesOneMessageAndTheBundledDataReadOnly()
    {
        TempDatabase bundled;  // stands for /usr/share/qarvenda/kvrn.dat
        const QByteArray good = makeFile(sampleImage());
        QVERIFY(writeFile(bundled.path(), good));
        const QString why = QStringLiteral("无法建立数据文件夹“/home/u/.local/share/qarvenda”：没有写入权限");
        ModalScript script;
        script.click(QStringLiteral("确定"));
        auto w = std::make_unique<qv::Tmainform>(bundled.path());
        w->openReadOnly(why);
        w->FormCreate(why + QStringLiteral("。\n随程序附带的数据库以只读方式打开。"));
        w->show();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.size(), 1);
        QCOMPARE(w->windowTitle(), QStringLiteral("Tolmerix V2.0.0（只读）"));
        QCOMPARE(w->database().tree.count(), 2);
        QVERIFY(!QFile::exists(bundled.path() + ".lock"));

        script.click(QStringLiteral("取消"));
        action(*w, "mmsave")->trigger();
        QVERIFY(script.finished());
        QVERIFY2(script.texts.value(1).contains(why) && script.texts.value(1).contains(QStringLiteral("另存为")),
                 qPrintable(script.texts.value(1)));
        QCOMPARE(readFile(bundled.path()), good);
        w->close();
        QVERIFY(!w->isVisible());
        QCOMPARE(script.texts.size(), 2);

        // No bundled data either: still one message, and no promise of a
        // file that a save could not make.
        TempDatabase none;
        script.click(QStringLiteral("确定"));
        auto empty = std::make_unique<qv::Tmainform>(none.path());
        empty->FormCreate(QStringLiteral("找不到随程序附带的数据库，无法复制到“%1”。").arg(none.path()));
        QVERIFY(script.finished());
        QCOMPARE(script.texts.size(), 3);
    }
};

QTEST_MAIN(SaveFaultsTest)
#include "save_faults_uitest.moc"
