// Which database a run works on: --db, the working folder's, or the data
// folder's, which receives a copy of the bundled database exactly once.
#include "TestImages.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace qv;
using From = DatabaseLocation::From;

namespace {

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class LocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        for (const char* d : {"work", "prefix/bin", "prefix/share/qarvenda", "empty"})
            ASSERT_TRUE(QDir(root.path()).mkpath(d));
        ASSERT_TRUE(qvtest::writeFile(bundled(), "bundled"));
    }
    QString path(const char* rel) const { return root.filePath(rel); }
    QString bundled() const { return path("prefix/share/qarvenda/kvrn.dat"); }
    // A missing candidate first: the first one that is there is copied.
    QStringList candidates() const { return {path("nowhere/kvrn.dat"), path("prefix/share/qarvenda"), bundled()}; }

    QTemporaryDir root;
};

}  // namespace

TEST_F(LocationTest, EachBranchOfTheRule)
{
    ASSERT_TRUE(qvtest::writeFile(path("work/kvrn.dat"), "own"));
    ASSERT_TRUE(QFile::link(path("absent"), path("empty/kvrn.dat")));  // a dangling link is still a database name
    const struct {
        const char* given;
        const char* working;
        From from;
        const char* file;
    } cases[] = {
        {"other/my.dat", "work", From::Option, "work/other/my.dat"},  // relative to the working folder
        {"../empty/x.dat", "work", From::Option, "empty/x.dat"},
        {"", "work", From::WorkingFolder, "work/kvrn.dat"},
        {"", "empty", From::WorkingFolder, "empty/kvrn.dat"},
    };
    for (const auto& c : cases) {
        const DatabaseLocation loc =
            locateDatabase(QString::fromUtf8(c.given), path(c.working), path("data"), candidates());
        EXPECT_EQ(loc.from, c.from) << c.given;
        EXPECT_EQ(loc.file, path(c.file)) << c.given;
        EXPECT_EQ(loc.folder, QFileInfo(path(c.file)).absolutePath());
        EXPECT_TRUE(loc.problem.isEmpty() && !loc.copied);
        EXPECT_FALSE(QFileInfo::exists(path("data"))) << "the data folder is left alone";
    }
    EXPECT_EQ(qvtest::readFile(path("work/kvrn.dat")), "own");
}

TEST_F(LocationTest, DataFolderIsMadeAndGetsOneCopyThatIsNeverReplaced)
{
    const QString data = path("deep/data/qarvenda");
    DatabaseLocation loc = locateDatabase(QString(), path("prefix/bin"), data, candidates());
    EXPECT_EQ(loc.from, From::DataFolder);
    EXPECT_EQ(loc.file, data + "/kvrn.dat");
    EXPECT_EQ(loc.folder, data);
    EXPECT_TRUE(loc.copied);
    EXPECT_TRUE(loc.problem.isEmpty()) << loc.problem.toStdString();
    EXPECT_EQ(qvtest::readFile(loc.file), "bundled");
    EXPECT_EQ(entriesOf(data), QStringList{"kvrn.dat"}) << "no temporary file is left";

    // The user's edits stay: a later start copies nothing, whatever the bundle holds now.
    ASSERT_TRUE(qvtest::writeFile(loc.file, "edited"));
    ASSERT_TRUE(qvtest::writeFile(bundled(), "newer bundle"));
    loc = locateDatabase(QString(), path("prefix/bin"), data, candidates());
    EXPECT_FALSE(loc.copied);
    EXPECT_EQ(qvtest::readFile(loc.file), "edited");

    // A name that appeared since the check (another start, say) is not replaced.
    const QString taken = path("work/taken.dat");
    ASSERT_TRUE(qvtest::writeFile(taken, "mine"));
    EXPECT_FALSE(copyWithoutReplacing(bundled(), taken).isEmpty());
    EXPECT_EQ(qvtest::readFile(taken), "mine");
    EXPECT_EQ(entriesOf(path("work")), QStringList{"taken.dat"});
}

namespace {
// A disk that fills after the first 1000 bytes of a file.
ssize_t fullDisk(int fd, const void* data, size_t size, off_t offset)
{
    if (offset + off_t(size) > 1000) {
        errno = ENOSPC;
        return -1;
    }
    return pwrite(fd, data, size, offset);
}
}  // namespace

TEST_F(LocationTest, AFailedCopyIsReportedAndLeavesNoDatabase)
{
    ASSERT_TRUE(qvtest::writeFile(path("file"), "x"));
    ASSERT_TRUE(qvtest::writeFile(bundled(), QByteArray(5000, 'b')));
    ASSERT_TRUE(QDir(root.path()).mkpath("locked"));
    ASSERT_TRUE(QFile::link(path("gone"), path("dangling")));
    const bool asRoot = geteuid() == 0;
    const struct {
        const char* name;
        QString data;
        QStringList bundle;
        const char* cause;
        WriteCall write;
        bool needsNonRoot;  // root writes in any folder
    } cases[] = {
        {"no bundled database", path("data1"), {path("nowhere/kvrn.dat"), path("prefix/share/qarvenda")},
         "找不到随程序附带的数据库", nullptr, false},
        {"data folder under a file", path("file/qarvenda"), candidates(), "该位置已有同名文件/目录", nullptr, false},
        {"a file in the data folder's place", path("file"), candidates(), "该位置已有同名文件/目录", nullptr, false},
        {"data folder through a link to nowhere", path("dangling/qarvenda"), candidates(), "链接指向不存在的文件",
         nullptr, false},
        {"a full disk", path("data2"), candidates(), "磁盘空间不足", fullDisk, false},
        {"a data folder that cannot be written", path("locked"), candidates(), "没有写入权限", nullptr, true},
    };
    for (const auto& c : cases) {
        if (c.needsNonRoot && asRoot)
            continue;
        ASSERT_EQ(chmod(QFile::encodeName(path("locked")).constData(), 0555), 0);
        setWriteCall(c.write);
        const DatabaseLocation loc = locateDatabase(QString(), path("empty"), c.data, c.bundle);
        setWriteCall(nullptr);
        chmod(QFile::encodeName(path("locked")).constData(), 0755);
        EXPECT_EQ(loc.from, From::DataFolder) << c.name;
        EXPECT_FALSE(loc.copied) << c.name;
        EXPECT_TRUE(loc.problem.contains(QString::fromUtf8(c.cause))) << c.name << ": " << loc.problem.toStdString();
        EXPECT_FALSE(QFileInfo::exists(c.data + "/kvrn.dat")) << c.name;
        EXPECT_TRUE(!QFileInfo(c.data).isDir() || entriesOf(c.data).isEmpty()) << c.name << ": nothing half-copied";
        // The bundled database is there to read: it is opened read-only,
        // and the one message says so.
        const bool bundle = c.bundle == candidates();
        EXPECT_EQ(loc.readOnly, bundle) << c.name;
        EXPECT_EQ(loc.file, bundle ? bundled() : c.data + "/kvrn.dat") << c.name;
        EXPECT_EQ(loc.problem.contains("只读"), bundle) << c.name;
    }
    // Copying into a folder that is not there says so and creates nothing.
    EXPECT_TRUE(copyWithoutReplacing(bundled(), path("missing/kvrn.dat")).contains("missing"));
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
    EXPECT_FALSE(copyWithoutReplacing(path("nowhere/kvrn.dat"), path("work/kvrn.dat")).isEmpty());
    EXPECT_TRUE(entriesOf(path("work")).isEmpty());
}

TEST(DataFolderTest, FromTheEnvironment)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const struct {
        const char* own;
        const char* xdg;
        QString expected;
    } cases[] = {
        {"/srv/q/", "/x", "/srv/q"},
        {nullptr, "/x/data", "/x/data/qarvenda"},
        {nullptr, "relative/data", home.path() + "/.local/share/qarvenda"},
        {nullptr, nullptr, home.path() + "/.local/share/qarvenda"},
    };
    qputenv("HOME", home.path().toLocal8Bit());
    for (const auto& c : cases) {
        c.own ? qputenv("QARVENDA_HOME", c.own) : qunsetenv("QARVENDA_HOME");
        c.xdg ? qputenv("XDG_DATA_HOME", c.xdg) : qunsetenv("XDG_DATA_HOME");
        EXPECT_EQ(userDataFolder(), c.expected);
    }
    qputenv("HOME", oldHome);
    qunsetenv("QARVENDA_HOME");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(entriesOf(home.path()).isEmpty()) << "only named, not made";

    const QStringList found = bundledDatabaseCandidates("/opt/q/bin");
    EXPECT_EQ(found.first(), "/opt/q/share/qarvenda/kvrn.dat");
    EXPECT_EQ(found.last(), "/opt/q/bin/kvrn.dat");
}
