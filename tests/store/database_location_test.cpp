// Which database a run works on: --db, the working folder's, or the data
// folder's, which receives a copy of the bundled database exactly once.
#include "TestImages.h"
#include "store/DataUpdate.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseLocation.h"
#include "store/GbkText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>
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
    // The version it came from is kept beside it; no temporary file is left.
    EXPECT_EQ(entriesOf(data), QStringList({"kvrn.dat", "kvrn.dat.bundled", "kvrn.dat.bundled.sha256"}));
    EXPECT_EQ(qvtest::readFile(pristineCopyPath(loc.file)), "bundled");
    EXPECT_EQ(recordedBundleHash(loc.file), fileSha256(bundled()));
    EXPECT_TRUE(qvtest::readFile(pristineHashPath(loc.file)).endsWith("  kvrn.dat.bundled\n"));

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
        EXPECT_FALSE(loc.copied) << c.name;
        EXPECT_TRUE(loc.problem.contains(QString::fromUtf8(c.cause))) << c.name << ": " << loc.problem.toStdString();
        EXPECT_FALSE(QFileInfo::exists(c.data + "/kvrn.dat")) << c.name;
        EXPECT_TRUE(!QFileInfo(c.data).isDir() || entriesOf(c.data).isEmpty()) << c.name << ": nothing half-copied";
        // The bundled database is there to read: it is opened read-only,
        // and the one message says so.
        const bool bundle = c.bundle == candidates();
        EXPECT_EQ(loc.readOnly, bundle) << c.name;
        EXPECT_EQ(loc.from, bundle ? From::Bundled : From::DataFolder) << c.name;
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
    // A relative QARVENDA_HOME names the folder under the working folder of
    // the first call, also after the working folder has changed.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(home.path()));
    qputenv("QARVENDA_HOME", "rel/q");
    EXPECT_EQ(userDataFolder(), home.path() + "/rel/q");
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    EXPECT_EQ(userDataFolder(), home.path() + "/rel/q");
    EXPECT_EQ(qEnvironmentVariable("QARVENDA_HOME"), home.path() + "/rel/q");
    ASSERT_TRUE(QDir::setCurrent(before));
    qputenv("HOME", oldHome);
    qunsetenv("QARVENDA_HOME");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(entriesOf(home.path()).isEmpty()) << "only named, not made";

    const QStringList found = bundledDatabaseCandidates("/opt/q/bin");
    EXPECT_EQ(found.first(), "/opt/q/share/qarvenda/kvrn.dat");
    EXPECT_EQ(found.last(), "/opt/q/bin/kvrn.dat");
}

TEST_F(LocationTest, AReaderCreatesNothingAndReadsTheBundleWhileThereIsNoCopy)
{
    ASSERT_TRUE(qvtest::writeFile(path("work/kvrn.dat"), "own"));
    ASSERT_TRUE(QDir(root.path()).mkpath("home/qarvenda"));
    ASSERT_TRUE(qvtest::writeFile(path("home/qarvenda/kvrn.dat"), "copy"));
    ASSERT_TRUE(qvtest::writeFile(path("file"), "x"));
    const struct {
        const char* given;
        const char* working;
        const char* data;
        bool bundle;
        From from;
        const char* file;  // empty: none, with a problem
    } cases[] = {
        {"x.dat", "empty", "nodata", true, From::Option, "empty/x.dat"},
        {"", "work", "nodata", true, From::WorkingFolder, "work/kvrn.dat"},
        {"", "empty", "home/qarvenda", true, From::DataFolder, "home/qarvenda/kvrn.dat"},
        {"", "empty", "nodata/qarvenda", true, From::Bundled, "prefix/share/qarvenda/kvrn.dat"},
        {"", "empty", "file/qarvenda", true, From::Bundled, "prefix/share/qarvenda/kvrn.dat"},
        {"", "empty", "nodata/qarvenda", false, From::DataFolder, ""},
    };
    const QStringList before = entriesOf(root.path());
    for (const auto& c : cases) {
        const QStringList bundle = c.bundle ? candidates() : QStringList{path("nowhere/kvrn.dat")};
        const DatabaseLocation loc =
            locateDatabaseToRead(QString::fromUtf8(c.given), path(c.working), path(c.data), bundle);
        EXPECT_EQ(loc.from, c.from) << c.data;
        EXPECT_FALSE(loc.copied);
        if (*c.file) {
            EXPECT_EQ(loc.file, path(c.file)) << c.data;
            EXPECT_TRUE(loc.problem.isEmpty()) << loc.problem.toStdString();
        } else {
            EXPECT_FALSE(loc.problem.isEmpty());
        }
    }
    EXPECT_EQ(entriesOf(root.path()), before);
    EXPECT_EQ(entriesOf(path("home/qarvenda")), QStringList{"kvrn.dat"});
}

TEST_F(LocationTest, ANewerBundleReplacesOnlyACopyNobodyEdited)
{
    const QString data = path("data");
    const QString file = data + "/kvrn.dat";
    enum Setup { Unedited, Edited, OldCopyLikeTheBundle, OldCopyUnlikeIt, OwnFileWithoutRecord };
    const struct {
        const char* name;
        Setup setup;
        bool madeFromBundle;
        StartUpdate::Kind kind;
        const char* afterwards;  // the file's content after the start
    } cases[] = {
        {"unedited copy", Unedited, true, StartUpdate::Replaced, "newer"},
        {"edited copy", Edited, true, StartUpdate::Offered, "edited"},
        {"copy made before records, same as the bundle", OldCopyLikeTheBundle, true, StartUpdate::Recorded, "newer"},
        {"copy made before records, different", OldCopyUnlikeIt, true, StartUpdate::Offered, "older"},
        {"a file the program never copied", OwnFileWithoutRecord, false, StartUpdate::Nothing, "older"},
    };
    for (const auto& c : cases) {
        QDir(data).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(data));
        ASSERT_TRUE(qvtest::writeFile(bundled(), "older"));
        if (c.setup == Unedited || c.setup == Edited) {
            const DatabaseLocation loc = locateDatabase(QString(), path("empty"), data, candidates());
            ASSERT_TRUE(loc.copied) << c.name;
            // Unchanged bundle: nothing happens.
            EXPECT_EQ(updateAtStart(file, bundled(), true).kind, StartUpdate::Nothing) << c.name;
            if (c.setup == Edited) {
                ASSERT_TRUE(qvtest::writeFile(file, "edited"));
            }
            ASSERT_TRUE(qvtest::writeFile(bundled(), "newer"));
        } else {
            ASSERT_TRUE(qvtest::writeFile(bundled(), "newer"));
            ASSERT_TRUE(qvtest::writeFile(file, c.setup == OldCopyLikeTheBundle ? "newer" : "older"));
        }
        const StartUpdate first = updateAtStart(file, bundled(), c.madeFromBundle);
        EXPECT_EQ(first.kind, c.kind) << c.name;
        EXPECT_EQ(qvtest::readFile(file), c.afterwards) << c.name;
        EXPECT_EQ(first.baseKnown, c.setup != OldCopyUnlikeIt) << c.name;
        if (c.kind == StartUpdate::Replaced) {
            EXPECT_EQ(first.keptAs, file + ".before-update");
            EXPECT_EQ(qvtest::readFile(first.keptAs), "older");
            EXPECT_TRUE(first.message.contains("kvrn.dat.before-update")) << first.message.toStdString();
        }
        if (c.kind == StartUpdate::Replaced || c.kind == StartUpdate::Recorded) {
            EXPECT_EQ(qvtest::readFile(pristineCopyPath(file)), "newer") << c.name;
            // Told once: the next start finds the bundle it recorded.
            EXPECT_EQ(updateAtStart(file, bundled(), c.madeFromBundle).kind, StartUpdate::Nothing) << c.name;
        }
        if (c.kind == StartUpdate::Offered || c.kind == StartUpdate::Nothing) {
            EXPECT_FALSE(QFileInfo::exists(file + ".before-update")) << c.name;
        }
    }
    // A second replacement keeps the first backup too.
    ASSERT_TRUE(qvtest::writeFile(bundled(), "newest"));
    ASSERT_TRUE(qvtest::writeFile(file, "newer"));
    ASSERT_TRUE(recordBundledVersion(file, path("data/kvrn.dat")).isEmpty());
    ASSERT_TRUE(qvtest::writeFile(file + ".before-update", "first backup"));
    const StartUpdate again = updateAtStart(file, bundled(), true);
    EXPECT_EQ(again.kind, StartUpdate::Replaced);
    EXPECT_EQ(again.keptAs, file + ".before-update.2");
    EXPECT_EQ(qvtest::readFile(file + ".before-update"), "first backup");

    // Opened and saved without an edit: other bytes, the same database, still unedited.
    qvtest::ImageBuilder image;
    image.dir(qvtest::gbk("甲省"), 0, 1).end(1).learnedCount(0).entry(qvtest::gbk("乙"), 1, "100000", "010");
    ASSERT_TRUE(qvtest::writeFile(bundled(), qvtest::makeFile(image.bytes)));
    ASSERT_TRUE(recordBundledVersion(file, bundled()).isEmpty());
    Database db;
    ASSERT_TRUE(db.load(bundled()).ok());
    db.setPath(file);
    ASSERT_TRUE(db.save().ok);
    ASSERT_TRUE(qvtest::writeFile(bundled(), "newest of all"));
    EXPECT_EQ(updateAtStart(file, bundled(), true).kind, StartUpdate::Replaced);
    EXPECT_EQ(qvtest::readFile(file), "newest of all");
}

namespace {

std::string g(const char* utf8) { return qvtest::gbk(utf8); }

// 甲省 > 乙市; the places named by what happens to them.
std::vector<uint8_t> threeWayImage(const std::vector<std::tuple<const char*, const char*>>& places,
                                   bool withNewCity = false)
{
    qvtest::ImageBuilder b;
    b.dir(g("甲省"), 0, 1).dir(g("乙市"), 1, 2);
    if (withNewCity)
        b.dir(g("丙市"), 1, 3);
    b.end(withNewCity ? 3 : 2).learnedCount(0);
    for (const auto& [name, post] : places) {
        const bool inNewCity = std::string(name) == "新";
        b.entry(g(name), *post == '-' ? -2 : (inNewCity ? 3 : 2), *post == '-' ? post + 1 : post, "0101");
    }
    return b.bytes;
}

std::unique_ptr<Database> databaseOf(const std::vector<uint8_t>& image)
{
    auto db = std::make_unique<Database>();
    db->loadImage(image);
    return db;
}

}  // namespace

TEST(ThreeWayUpdate, UpstreamChangesAreTakenUserEditsKeptAndConflictsDecided)
{
    // 改: changed upstream only; 留: changed by the user only; 冲: both; 去:
    // removed upstream; 删: deleted by the user, changed upstream; 新: added
    // upstream in a new city; 同: added by both alike; 我: added by the user.
    auto basePtr = databaseOf(threeWayImage(
        {{"改", "100001"}, {"留", "100003"}, {"冲", "100004"}, {"去", "100007"}, {"删", "100008"}}));
    auto theirsPtr = databaseOf(threeWayImage(
        {{"改", "100002"}, {"留", "100003"}, {"冲", "100005"}, {"删", "100009"}, {"同", "1"}, {"新", "2"}}, true));
    auto oursPtr = databaseOf(threeWayImage({{"改", "100001"},
                                             {"留", "199999"},
                                             {"冲", "100006"},
                                             {"去", "100007"},
                                             {"删", "-100008"},
                                             {"同", "1"},
                                             {"我", "3"}}));
    Database &base = *basePtr, &theirs = *theirsPtr, &ours = *oursPtr;
    UpdatePlan plan = planUpdate(&base, ours, theirs);
    const struct {
        const char* name;
        UpstreamChange::Kind kind;
        UpstreamChange::Outcome outcome;
    } expected[] = {
        {"改", UpstreamChange::Changed, UpstreamChange::Apply},
        {"冲", UpstreamChange::Changed, UpstreamChange::Conflict},
        {"删", UpstreamChange::Changed, UpstreamChange::Conflict},
        {"同", UpstreamChange::Added, UpstreamChange::AlreadyThere},
        {"新", UpstreamChange::Added, UpstreamChange::Apply},
        {"去", UpstreamChange::Removed, UpstreamChange::Apply},
    };
    ASSERT_EQ(plan.changes.size(), std::size(expected));
    for (size_t i = 0; i < plan.changes.size(); ++i) {
        EXPECT_EQ(plan.changes[i].name, g(expected[i].name)) << i;
        EXPECT_EQ(plan.changes[i].kind, expected[i].kind) << expected[i].name;
        EXPECT_EQ(plan.changes[i].outcome, expected[i].outcome) << expected[i].name;
    }
    EXPECT_EQ(pathText(plan.changes[4].path), QStringLiteral("甲省 / 丙市"));
    plan.changes[1].takeTheirs = true;  // 冲: the user takes the new value; 删 stays deleted

    const UpdateResult done = applyUpdate(ours, theirs, plan);
    EXPECT_EQ(done.added, 1);
    EXPECT_EQ(done.changed, 2);
    EXPECT_EQ(done.removed, 1);
    EXPECT_TRUE(ours.ModifiedFlag);
    std::map<std::string, std::pair<std::string, bool>> now;  // name -> postcode, live
    ours.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const EntryRecord r = EntryRecord::decode(rec);
        now[qv::gbk::toQString(r.name).toStdString()] = {r.postcode, r.owner > 0};
    });
    const std::map<std::string, std::pair<std::string, bool>> want{
        {"改", {"100002", true}}, {"留", {"199999", true}}, {"冲", {"100005", true}}, {"去", {"100007", false}},
        {"删", {"100008", false}}, {"同", {"1", true}},     {"我", {"3", true}},      {"新", {"2", true}}};
    EXPECT_EQ(now, want);
    const DirectoryNode* city = ours.tree.root()->children[0]->children.back().get();
    EXPECT_EQ(city->caption, g("丙市"));
    EXPECT_EQ(ours.tree.NextDirectoryId(), 3);

    // Without a base (a copy made before copies were recorded) every
    // difference is the user's unless the user takes the new value, and a
    // place only the user has is never touched.
    auto oldPtr = databaseOf(threeWayImage({{"改", "100001"}, {"我", "3"}}));
    Database& old = *oldPtr;
    UpdatePlan unknown = planUpdate(nullptr, old, theirs);
    EXPECT_FALSE(unknown.baseKnown);
    EXPECT_EQ(unknown.count(UpstreamChange::Conflict), int(unknown.changes.size()));
    EXPECT_EQ(unknown.changes.size(), 6u);  // 改 changed; 留 冲 删 同 新 added
    EXPECT_EQ(applyUpdate(old, theirs, unknown).total(), 0);
    EXPECT_FALSE(old.ModifiedFlag);
}
