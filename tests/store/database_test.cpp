#include "entries/EntryEditing.h"
#include "store/Database.h"
#include "store/FileLock.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "FaultDevices.h"
#include "TestImages.h"
#include "../../tools/SyntheticDb.h"

#include "store/GbkText.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace qv;
using qvtest::ImageBuilder;

namespace {

std::string gb(const char* utf8) { return qvtest::gbk(utf8); }

struct TempDb {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("kvrn.dat"); }
};

// The image stored in a file, inflated with zlib straight from the bytes.
std::vector<uint8_t> imageInFile(const QString& path)
{
    QByteArray file = qvtest::readFile(path);
    EXPECT_GE(file.size(), 4);
    if (file.size() < 4)
        return {};
    const auto* p = reinterpret_cast<const uint8_t*>(file.constData());
    std::vector<uint8_t> out;
    QString why;
    EXPECT_TRUE(inflateImageZlib(p + 4, size_t(file.size() - 4), readLe32(p), out, &why)) << why.toStdString();
    return out;
}

// The bytes of an image that carry meaning, with reserved bytes and the
// unused tails of text fields blanked, so that images written by different
// programs compare equal when they say the same thing.
std::vector<uint8_t> significant(std::vector<uint8_t> img)
{
    auto blankTail = [&](size_t at, int capacity) {
        const size_t n = std::min<size_t>(img[at], size_t(capacity));
        std::fill(img.begin() + long(at + 1 + n), img.begin() + long(at + 1 + size_t(capacity)), 0);
    };
    size_t pos = 0;
    for (; pos + kDirectoryRecordSize <= img.size(); pos += kDirectoryRecordSize) {
        uint8_t* rec = img.data() + pos;
        rec[26] = rec[27] = 0;
        if (readLe32(rec + dir_field::kLevel) < 0) {
            std::fill(rec, rec + dir_field::kLevel, 0);  // only level and NextDirectoryId count
            pos += kDirectoryRecordSize;
            break;
        }
        blankTail(pos, kNameCapacity);
    }
    const int32_t learned = readLe32(img.data() + pos);
    pos += 4 + size_t(learned) * kLearnedInitialSize;
    for (; pos + kEntryRecordSize <= img.size(); pos += kEntryRecordSize) {
        uint8_t* rec = img.data() + pos;
        blankTail(pos + entry_field::kNameLen, kNameCapacity);
        blankTail(pos + entry_field::kPostLen, kPostcodeCapacity);
        blankTail(pos + entry_field::kAreaLen, kAreaCodeCapacity);
        rec[26] = rec[27] = rec[47] = 0;
    }
    return img;
}

// The tree as (depth, caption, id) in pre-order.
std::vector<std::tuple<int, std::string, int32_t>> shape(const DirectoryTree& tree)
{
    std::vector<std::tuple<int, std::string, int32_t>> out;
    tree.forEach([&](const DirectoryNode* n, int depth) { out.emplace_back(depth, n->caption, n->id); });
    return out;
}

std::vector<int32_t> levelsIn(const std::vector<uint8_t>& img)
{
    std::vector<int32_t> levels;
    for (size_t pos = 0; pos + kDirectoryRecordSize <= img.size(); pos += kDirectoryRecordSize) {
        const int32_t level = readLe32(img.data() + pos + dir_field::kLevel);
        if (level < 0)
            break;
        levels.push_back(level);
    }
    return levels;
}

// A foreign-made image with junk in every reserved byte and field tail.
ImageBuilder sampleImage()
{
    ImageBuilder b;
    b.dir(gb("北京市"), 0, 1).dir(gb("东城区"), 1, 2).dir(gb("王府井"), 2, 5).dir(gb("西城区"), 1, 3);
    b.dir(gb("国外"), 0, 9).end(17);
    b.learnedCount(2).learned(0xD9, 0xF1, 'B').learned(0xE4, 0xF0, 'L');
    b.entry(gb("北京"), 1, "100000", "010");
    b.entry(gb("东城"), -2, "100010", "010");  // deleted
    b.entry(gb("亳州"), 5, "236800", "0558");
    b.entry(gb("消失的目录"), -12, "1", "2");  // deleted, directory long gone
    b.entry("New York", 9, "-13", "001");
    b.entry(gb("无主"), 0, "", "");
    return b;
}

std::string nameAt(const Database& db, int32_t pos) { return db.image.readEntry(pos).name; }

}  // namespace

TEST(DatabaseLayout, EmptyDatabaseIsFortyBytes)
{
    TempDb t;
    Database db;
    EXPECT_EQ(db.load(t.path()).status, FileReadResult::Missing);
    EXPECT_EQ(db.image.entrySectionStart(), 0);
    ASSERT_TRUE(db.save().ok);
    EXPECT_EQ(db.image.size(), 40);
    EXPECT_EQ(db.image.entrySectionStart(), 40);

    const std::vector<uint8_t> img = imageInFile(t.path());
    ASSERT_EQ(img.size(), 40u);
    EXPECT_EQ(readLe32(img.data() + dir_field::kLevel), -1);
    EXPECT_EQ(readLe32(img.data() + dir_field::kId), 0);  // NextDirectoryId
    EXPECT_EQ(readLe32(img.data() + 36), 0);              // LearnedCount

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.image.size(), 40);
    EXPECT_EQ(again.image.entrySectionStart(), 40);
    EXPECT_TRUE(again.tree.isEmpty());
    EXPECT_TRUE(again.learned.empty());
    // The first directory of an empty database gets id 1.
    DirectoryNode* first = createDirectory(again, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, 1);
}

TEST(DatabaseLayout, LevelsAreWrittenInPreOrder)
{
    TempDb t;
    ImageBuilder b;
    b.dir(gb("根"), 0, 1).dir(gb("子"), 1, 2).dir(gb("孙"), 2, 3).dir(gb("次子"), 1, 4).end(4).learnedCount(0);
    b.entry(gb("北京"), 2, "100000", "010");
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    ASSERT_EQ(db.tree.root()->children.size(), 1u);
    const DirectoryNode* root = db.tree.root()->children[0].get();
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[1]->caption, gb("次子"));
    EXPECT_EQ(root->children[1]->id, 4);
    EXPECT_EQ(root->children[0]->children.at(0)->id, 3);
    EXPECT_EQ(root->icon, kIconCollapsed);
    EXPECT_EQ(root->children[1]->icon, kIconLeaf);
    EXPECT_EQ(nameAt(db, db.image.entrySectionStart()), gb("北京"));

    ASSERT_TRUE(db.save().ok);
    const std::vector<uint8_t> img = imageInFile(t.path());
    EXPECT_EQ(levelsIn(img), (std::vector<int32_t>{0, 1, 2, 1}));
    std::vector<int32_t> ids;
    for (int i = 0; i < 4; ++i)
        ids.push_back(readLe32(img.data() + 36 * i + dir_field::kId));
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4}));

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(shape(again.tree), shape(db.tree));
}

TEST(DatabaseLayout, LevelJumpHangsUnderPreviousDirectory)
{
    TempDb t;
    ImageBuilder b;
    // 0, 2: the second becomes a child of the first; the 1 after it is its sibling.
    b.dir("A", 0, 1).dir("B", 2, 2).dir("C", 1, 3).dir("D", 0, 4).dir("E", 7, 5).end(5).learnedCount(0);
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    using S = std::vector<std::tuple<int, std::string, int32_t>>;
    EXPECT_EQ(shape(db.tree), (S{{0, "A", 1}, {1, "B", 2}, {1, "C", 3}, {0, "D", 4}, {1, "E", 5}}));
    ASSERT_TRUE(db.save().ok);
    EXPECT_EQ(levelsIn(imageInFile(t.path())), (std::vector<int32_t>{0, 1, 1, 0, 1}));
}

TEST(DatabaseLayout, CaptionsAreCutTo25Bytes)
{
    TempDb t;
    Database db;
    db.load(t.path());
    const std::string exact = gb("一二三四五六七八九十甲乙") + "X";  // 25 bytes
    const std::string longer = gb("一二三四五六七八九十甲乙丙丁");   // 28 bytes
    ASSERT_EQ(exact.size(), 25u);
    DirectoryNode* a = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    DirectoryNode* b = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    a->caption = exact;
    b->caption = longer;  // the editor refuses this; the writer must still cut it
    ASSERT_TRUE(db.save().ok);

    const std::vector<uint8_t> img = imageInFile(t.path());
    EXPECT_EQ(img[0], 25);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.data() + 1), 25), exact);
    EXPECT_EQ(img[36], 25);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(img.data() + 37), 25), longer.substr(0, 25));

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    ASSERT_EQ(again.tree.root()->children.size(), 2u);
    EXPECT_EQ(again.tree.root()->children[0]->caption, exact);
    EXPECT_EQ(again.tree.root()->children[1]->caption, longer.substr(0, 25));
}

TEST(DatabaseRoundTrip, SaveAfterLoadKeepsEverySignificantByte)
{
    TempDb t;
    const ImageBuilder b = sampleImage();
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    EXPECT_FALSE(db.ModifiedFlag);
    EXPECT_EQ(db.tree.NextDirectoryId(), 17);
    ASSERT_EQ(db.learned.size(), 2u);
    EXPECT_EQ(db.image.entrySectionStart(), 36 * 6 + 4 + 5 * 2);
    EXPECT_EQ(db.image.entryCount(), 6);
    // The entry section is taken over as it was, junk bytes included.
    EXPECT_TRUE(std::equal(db.image.bytes().begin() + db.image.entrySectionStart(), db.image.bytes().end(),
                           b.bytes.end() - 6 * 48));

    ASSERT_TRUE(db.save().ok);
    const std::vector<uint8_t> saved = imageInFile(t.path());
    EXPECT_EQ(saved, db.image.bytes());
    EXPECT_EQ(significant(saved), significant(b.bytes));
    // Nothing a foreign writer left in the entries' reserved bytes is lost either.
    EXPECT_TRUE(std::equal(saved.end() - 6 * 48, saved.end(), b.bytes.end() - 6 * 48));

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(shape(again.tree), shape(db.tree));
    EXPECT_EQ(again.tree.NextDirectoryId(), 17);
    // A second save of the same data writes the same file.
    const QByteArray first = qvtest::readFile(t.path());
    ASSERT_TRUE(again.save().ok);
    EXPECT_EQ(qvtest::readFile(t.path()), first);
}

TEST(DatabaseRoundTrip, DeletedEntriesSurviveSave)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    const int32_t first = db.image.entrySectionStart();
    ASSERT_TRUE(deleteEntry(db, first));  // 北京, owner 1 -> -1
    ASSERT_TRUE(db.save().ok);

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    ASSERT_EQ(again.image.entryCount(), 6);
    std::vector<int32_t> owners;
    again.image.forEachEntry([&](int32_t, const uint8_t* rec) { owners.push_back(entryOwner(rec)); });
    EXPECT_EQ(owners, (std::vector<int32_t>{-1, -2, 5, -12, 9, 0}));
    EXPECT_EQ(nameAt(again, again.image.entrySectionStart()), gb("北京"));
    EXPECT_EQ(nameAt(again, again.image.entrySectionStart() + 3 * 48), gb("消失的目录"));
}

TEST(DatabaseRoundTrip, MoreThanTheHeaderAnnouncesIsCutToldAndKeptAside)
{
    ImageBuilder b;
    b.end(0).learnedCount(0);
    b.entry("a", 1, "1", "2").entry("b", 1, "2", "2").entry("c", 1, "3", "3");
    ImageBuilder d;  // cut inside the directory section: no end marker, so the directories seen so far
    d.dir("x", 0, 3).dir("y", 0, 4).end(9).learnedCount(0).entry("e", 3, "", "");
    const struct {
        QByteArray file;
        std::vector<uint8_t> image;
        int dirs;
    } cases[] = {
        {qvtest::makeFile(b.bytes, 40 + 2 * 48), {b.bytes.begin(), b.bytes.begin() + 40 + 2 * 48}, 0},
        {qvtest::makeFile(d.bytes, 36 + 20), {d.bytes.begin(), d.bytes.begin() + 36 + 20}, 1},
        {qvtest::makeFile(b.bytes) + "tail", b.bytes, 0},  // bytes after the stream's end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image.size());
        TempDb t;
        ASSERT_TRUE(qvtest::writeFile(t.path(), c.file));
        Database db;
        const LoadReport load = db.load(t.path());
        EXPECT_EQ(load.status, FileReadResult::Excess);
        EXPECT_TRUE(load.message.contains("kvrn.dat.damaged")) << load.message.toStdString();
        EXPECT_EQ(db.image.bytes(), c.image);
        EXPECT_EQ(db.tree.count(), c.dirs);
        const SaveReport r = db.save();
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), c.file);
        Database again;
        EXPECT_TRUE(again.load(t.path()).ok());
    }
}

TEST(DatabaseRoundTrip, GeneratedDatabase)
{
    // The generator behind the benchmarks writes what it says it writes,
    // and its output survives a load and a save untouched.
    TempDb t;
    qvgen::Options o;
    o.entries = 5000;
    o.dirs = 120;
    o.deletedPercent = 10;
    o.learned = 25;
    o.bigDir = 700;
    o.varied = true;
    Database db;
    db.setPath(t.path());
    const qvgen::Summary s = qvgen::generate(db, o);
    ASSERT_TRUE(db.save().ok);
    const QByteArray file = qvtest::readFile(t.path());

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), 120);
    EXPECT_EQ(again.learned.size(), 25u);
    EXPECT_EQ(again.image.entryCount(), 5000);
    int64_t deleted = 0, inBig = 0, level2 = 0;
    again.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const EntryRecord r = EntryRecord::decode(rec);
        deleted += r.owner < 0;
        inBig += r.owner == s.bigDirId;
        EXPECT_FALSE(qv::gbk::toQString(r.name).contains(QChar(0xFFFD))) << r.name;
        for (size_t i = 0; i + 1 < r.name.size(); i += qv::gbk::isLeadByte(uint8_t(r.name[i])) ? 2 : 1)
            level2 += uint8_t(r.name[i]) >= 0xD8;
    });
    EXPECT_EQ(deleted, s.deleted);
    EXPECT_EQ(inBig, 700);
    EXPECT_GT(level2, 0);
    ASSERT_TRUE(again.save().ok);
    EXPECT_EQ(qvtest::readFile(t.path()), file);

    // Same options, same bytes.
    Database twin;
    twin.setPath(t.dir.filePath("twin.dat"));
    qvgen::generate(twin, o);
    ASSERT_TRUE(twin.save().ok);
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("twin.dat")), file);
}

TEST(DatabaseRebase, SaveMovesEveryEntryByTheChangeOfTheFront)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());

    auto snapshot = [](const Database& d) {
        std::vector<std::pair<int32_t, std::vector<uint8_t>>> recs;
        d.image.forEachEntry(
            [&](int32_t pos, const uint8_t* rec) { recs.emplace_back(pos, std::vector<uint8_t>(rec, rec + 48)); });
        return recs;
    };
    auto checkMoved = [&](const std::vector<std::pair<int32_t, std::vector<uint8_t>>>& before,
                          const SaveReport& report, int32_t delta) {
        const auto after = snapshot(db);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].first, before[i].first + delta);
            EXPECT_EQ(report.relocation.map(before[i].first), after[i].first);
            EXPECT_EQ(after[i].second, before[i].second);
        }
    };

    const int32_t start0 = db.image.entrySectionStart();
    auto before = snapshot(db);
    ASSERT_NE(createDirectory(db, nullptr, NewDirectoryPlace::LastSibling), nullptr);
    SaveReport r = db.save();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(db.image.entrySectionStart(), start0 + 36);
    checkMoved(before, r, 36);

    before = snapshot(db);
    db.learned.push_back(LearnedInitial::make(0xE3, 0xF2, 'L'));
    r = db.save();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(db.image.entrySectionStart(), start0 + 41);
    checkMoved(before, r, 5);

    // Removing a directory moves the entries back, and a save with no
    // change moves nothing.
    before = snapshot(db);
    DirectoryNode* leaf = db.tree.findById(3);  // 西城区, no entries of its own
    ASSERT_NE(leaf, nullptr);
    ASSERT_TRUE(deleteDirectory(db, leaf));
    r = db.save();
    ASSERT_TRUE(r.ok);
    checkMoved(before, r, -36);
    // A front of the same length is written over the old one: the image is
    // what a rebuild gives, junk in the old front's tails cleared.
    db.tree.setCaption(db.tree.root()->children.front().get(), "renamed");
    const std::vector<uint8_t> rebuilt = db.buildImage();
    before = snapshot(db);
    r = db.save();
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.relocation.isIdentity());
    checkMoved(before, r, 0);
    EXPECT_EQ(db.image.bytes(), rebuilt);

    // The invariant between the front and the counts holds after reload.
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.image.entrySectionStart(),
              36 * (again.tree.count() + 1) + 4 + 5 * int32_t(again.learned.size()));
    EXPECT_EQ(again.image.entrySectionStart(), db.image.entrySectionStart());
}

TEST(DirectoryIds, NeverReusedAfterDeletingTheHighest)
{
    TempDb t;
    Database db;
    db.load(t.path());
    DirectoryNode* a = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    DirectoryNode* b = createDirectory(db, a, NewDirectoryPlace::LastChild);
    DirectoryNode* c = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(c->id, 3);
    appendEntry(db, 3, {gb("深圳"), "0755", "518000"});
    ASSERT_TRUE(deleteDirectory(db, c));
    ASSERT_TRUE(deleteDirectory(db, b));
    ASSERT_TRUE(db.save().ok);

    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), 1);
    EXPECT_EQ(again.tree.NextDirectoryId(), 3);
    EXPECT_EQ(entryOwner(again.image.entryAt(again.image.entrySectionStart())), -3);
    DirectoryNode* d = createDirectory(again, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, 4);

    // A file whose counter lags behind its directories still hands out fresh ids.
    ImageBuilder lag;
    lag.dir("x", 0, 40).end(2).learnedCount(0);
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(lag.bytes)));
    ASSERT_TRUE(again.load(t.path()).ok());
    d = createDirectory(again, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, 41);
}

// ---- Failing saves -------------------------------------------------------

namespace {

// A database whose file compresses to well over a few kilobytes.
void fillWithNoise(Database& db, int entries)
{
    uint32_t x = 12345;
    auto next = [&] { return (x = x * 1103515245u + 12345u) >> 16; };
    for (int i = 0; i < entries; ++i) {
        std::string name;
        for (int k = 0; k < 12; ++k)
            name += char(0xB0 + next() % 0x28), name += char(0xA1 + next() % 0x5E);
        appendEntry(db, 1, {name, std::to_string(next() % 100000), std::to_string(next() % 1000000)});
    }
}

}  // namespace

TEST(SaveFailure, UnwritablePlaceKeepsEditsPending)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.dir.filePath("plain"), "x"));
    const QString paths[] = {
        t.dir.filePath("plain/kvrn.dat"),        // parent is a regular file
        t.dir.filePath("missing/sub/kvrn.dat"),  // parent does not exist
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        Database db;
        db.load(path);
        createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        appendEntry(db, 1, {"a", "1", "2"});
        ASSERT_TRUE(db.ModifiedFlag);
        const SaveReport r = db.save();
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_TRUE(db.ModifiedFlag);
        // The image was re-based all the same, and the report says how.
        EXPECT_EQ(db.image.entrySectionStart(), 36 * 2 + 4);
        EXPECT_EQ(r.relocation.map(0), 36 * 2 + 4);
        EXPECT_EQ(nameAt(db, db.image.entrySectionStart()), "a");
        // Once the place is usable, the same database saves.
        db.setPath(t.dir.filePath("kvrn.dat"));
        EXPECT_TRUE(db.save().ok);
        EXPECT_FALSE(db.ModifiedFlag);
    }
    // Without edits a failed save leaves nothing pending for the exit question.
    Database db;
    db.load(paths[0]);
    EXPECT_FALSE(db.save().ok);
    EXPECT_FALSE(db.ModifiedFlag);
}

TEST(SaveFailure, FolderInTheWayIsNotReplaced)
{
    TempDb t;
    ASSERT_TRUE(QDir(t.dir.path()).mkpath("kvrn.dat/inside"));
    Database db;
    db.setPath(t.path());
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    const SaveReport r = db.save();
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_TRUE(db.ModifiedFlag);
    EXPECT_TRUE(QFileInfo(t.dir.filePath("kvrn.dat/inside")).isDir());
}

TEST(SaveFailure, FailedWriteLeavesThePreviousFileByteForByte)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    const QByteArray original = qvtest::readFile(t.path());
    // 400 entries compress to less than Qt's write buffer holds, 2000 to more.
    for (int entries : {400, 2000}) {
        SCOPED_TRACE(entries);
        Database db;
        ASSERT_TRUE(db.load(t.path()).ok());
        fillWithNoise(db, entries);
        ASSERT_TRUE(db.ModifiedFlag);
        SaveReport r;
        {
            ResourceLimit limit(RLIMIT_FSIZE, 4096);
            ASSERT_TRUE(limit.ok());
            r = db.save();
        }
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_TRUE(db.ModifiedFlag);
        EXPECT_EQ(qvtest::readFile(t.path()), original);
        // No temporary file is left behind.
        EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kvrn.dat"});
    }
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    fillWithNoise(db, 2000);
    ASSERT_TRUE(db.save().ok);
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.image.entryCount(), 6 + 2000);
}

// ---- Damaged files -------------------------------------------------------

TEST(DamagedFile, IsKeptAsideAtTheNextSaveAndNeverOverwritten)
{
    TempDb t;
    QByteArray damaged = qvtest::makeFile(sampleImage().bytes);
    damaged.truncate(damaged.size() / 2);
    ASSERT_TRUE(qvtest::writeFile(t.path(), damaged));

    Database db;
    const LoadReport load = db.load(t.path());
    EXPECT_EQ(load.status, FileReadResult::Damaged);
    EXPECT_TRUE(load.message.contains("kvrn.dat.damaged")) << load.message.toStdString();
    EXPECT_TRUE(db.tree.isEmpty());
    EXPECT_EQ(db.image.size(), 0);
    EXPECT_EQ(db.image.entrySectionStart(), 0);
    EXPECT_TRUE(db.learned.empty());
    EXPECT_EQ(db.tree.NextDirectoryId(), 0);
    EXPECT_FALSE(db.ModifiedFlag);
    EXPECT_EQ(db.preserveAs().toStdString(), t.dir.filePath("kvrn.dat.damaged").toStdString());

    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    const SaveReport r = db.save();
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.preservedAs.toStdString(), t.dir.filePath("kvrn.dat.damaged").toStdString());
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), damaged);
    EXPECT_TRUE(db.preserveAs().isEmpty());

    // Later saves leave the kept copy alone.
    ASSERT_TRUE(db.save().ok);
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), damaged);
    EXPECT_FALSE(QFile::exists(t.dir.filePath("kvrn.dat.damaged.2")));
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), 1);

    // A second damaged file does not push out the first kept one.
    ASSERT_TRUE(qvtest::writeFile(t.path(), "junk"));
    const LoadReport second = again.load(t.path());
    EXPECT_EQ(second.status, FileReadResult::Damaged);
    EXPECT_EQ(again.preserveAs().toStdString(), t.dir.filePath("kvrn.dat.damaged.2").toStdString());
    ASSERT_TRUE(again.save().ok);
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), damaged);
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged.2")), QByteArray("junk"));
}

TEST(DamagedFile, StaysInPlaceWhenTheSaveFails)
{
    // 400 entries compress to less than Qt's write buffer holds, 2000 to more:
    // the failure shows in the last write or in one along the way.
    for (int entries : {400, 2000}) {
        SCOPED_TRACE(entries);
        TempDb t;
        const QByteArray damaged("\x30\x00\x00\x00garbage, not a zlib stream", 29);
        ASSERT_TRUE(qvtest::writeFile(t.path(), damaged));
        Database db;
        ASSERT_EQ(db.load(t.path()).status, FileReadResult::Damaged);
        fillWithNoise(db, entries);
        {
            ResourceLimit limit(RLIMIT_FSIZE, 4096);
            ASSERT_TRUE(limit.ok());
            EXPECT_FALSE(db.save().ok);
        }
        EXPECT_TRUE(db.ModifiedFlag);
        EXPECT_EQ(qvtest::readFile(t.path()), damaged);
        EXPECT_FALSE(QFile::exists(t.dir.filePath("kvrn.dat.damaged")));
        EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kvrn.dat"});
        // The promise still holds for the next save.
        EXPECT_EQ(db.preserveAs().toStdString(), t.dir.filePath("kvrn.dat.damaged").toStdString());
        const SaveReport r = db.save();
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.preservedAs.toStdString(), t.dir.filePath("kvrn.dat.damaged").toStdString());
        EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), damaged);
    }
}

// ---- Links, permissions, limits --------------------------------------------

namespace {

struct stat statOf(const QString& path)
{
    struct stat st {};
    lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

int chmodTo(const QString& path, mode_t mode) { return chmod(QFile::encodeName(path).constData(), mode); }

// Runs `body` in a child whose files may not grow past `limit` bytes, with
// SIGXFSZ ignored as the program ignores it. The child's exit code is what
// `body` returns: 0 when all was right.
int inChildWithFileSizeLimit(rlim_t limit, const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{};
        getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = limit;
        _exit(setrlimit(RLIMIT_FSIZE, &lim) == 0 ? body() : 99);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(LinkedFile, RegularTargetIsReplacedAndTheLinkStays)
{
    TempDb t;
    ASSERT_TRUE(QDir(t.dir.path()).mkpath("real"));
    const QByteArray good = qvtest::makeFile(sampleImage().bytes), damaged = good.left(good.size() / 2);
    for (const QByteArray& content : {good, damaged}) {
        ASSERT_TRUE(qvtest::writeFile(t.dir.filePath("real/data.dat"), content));
        const QString target = QFileInfo(t.dir.filePath("real/data.dat")).canonicalFilePath();
        const QString kept = content == good ? QString() : target + ".damaged";
        QFile::remove(t.path());
        ASSERT_TRUE(QFile::link("real/data.dat", t.path()));
        Database db, again;
        const LoadReport load = db.load(t.path());
        EXPECT_EQ(load.ok(), kept.isEmpty());
        EXPECT_TRUE(load.message.contains(kept)) << load.message.toStdString();
        createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        const SaveReport r = db.save();
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        EXPECT_TRUE(QFileInfo(t.path()).isSymLink());
        ASSERT_TRUE(again.load(target).ok());
        EXPECT_EQ(again.tree.count(), db.tree.count());
        // Nothing lies beside the link; a damaged target is kept beside itself.
        EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kvrn.dat"});
        EXPECT_EQ(r.preservedAs, kept);
        EXPECT_EQ(r.preservedShown, kept);
        EXPECT_EQ(qvtest::readFile(kept), kept.isEmpty() ? QByteArray() : damaged);
    }
}

TEST(LinkedFile, LinksToNoRegularFileAreNeverWrittenThrough)
{
    for (const char* to : {"missing.dat", "folder", "fifo", "loop"}) {
        SCOPED_TRACE(to);
        TempDb t;
        const QDir d(t.dir.path());
        ASSERT_TRUE(d.mkdir("folder"));
        ASSERT_EQ(mkfifo(QFile::encodeName(d.filePath("fifo")).constData(), 0600), 0);
        ASSERT_TRUE(QFile::link("kvrn.dat", d.filePath("loop")));
        ASSERT_TRUE(QFile::link(to, t.path()));
        const auto listing = [&] { return d.entryList(QDir::AllEntries | QDir::System | QDir::Hidden); };
        const QStringList before = listing();
        Database db;
        const LoadReport load = db.load(t.path());
        EXPECT_EQ(load.status, FileReadResult::Unreadable);
        EXPECT_TRUE(load.message.contains("符号链接")) << load.message.toStdString();
        createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        const SaveReport r = db.save();
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains("符号链接")) << r.message.toStdString();
        EXPECT_TRUE(db.ModifiedFlag);
        EXPECT_EQ(listing(), before);
        EXPECT_EQ(QFileInfo(t.path()).symLinkTarget(), d.filePath(to));
        EXPECT_TRUE(S_ISFIFO(statOf(d.filePath("fifo")).st_mode));
        EXPECT_TRUE(QDir(d.filePath("folder")).isEmpty());
    }
}

TEST(SavedFile, KeepsPermissionBitsAndOwnerEitherWay)
{
    // The atomic save, then in-place writes that grow, shrink and grow the file.
    const bool root = geteuid() == 0;
    Database big;
    big.loadImage(sampleImage().bytes);
    fillWithNoise(big, 300);
    const std::vector<uint8_t> images[] = {big.buildImage(), sampleImage().bytes, big.buildImage()};
    for (mode_t mode : {0600, 0640, 0604, 0444}) {
        SCOPED_TRACE(mode);
        TempDb t;
        const QByteArray original = qvtest::makeFile(sampleImage().bytes);
        ASSERT_TRUE(qvtest::writeFile(t.path(), original));
        ASSERT_EQ(chmodTo(t.path(), mode), 0);
        ASSERT_TRUE(!root || chown(QFile::encodeName(t.path()).constData(), 1234, 2345) == 0);
        const struct stat before = statOf(t.path());
        auto expectSameOwnerAndMode = [&] {
            const struct stat st = statOf(t.path());
            EXPECT_EQ(std::tie(st.st_mode, st.st_uid, st.st_gid),
                      std::tie(before.st_mode, before.st_uid, before.st_gid));
            return st.st_ino;
        };
        Database db;
        ASSERT_TRUE(db.load(t.path()).ok());
        createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        const SaveReport saved = db.save();
        expectSameOwnerAndMode();
        if (!root && !(mode & S_IWUSR)) {  // a read-only file is not replaced
            EXPECT_TRUE(saved.message.contains("没有写入权限")) << saved.message.toStdString();
            EXPECT_EQ(qvtest::readFile(t.path()), original);
            continue;
        }
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        const ino_t inode = statOf(t.path()).st_ino;
        for (const std::vector<uint8_t>& image : images) {
            const WriteResult w = overwriteDatabaseFile(t.path(), image, {});
            ASSERT_TRUE(w.ok) << w.error.toStdString();
            Database back;  // nothing of a longer file may be left after the new one
            ASSERT_TRUE(back.load(t.path()).ok());
            EXPECT_EQ(back.image.bytes(), image);
            EXPECT_EQ(expectSameOwnerAndMode(), inode);
        }
    }
}

TEST(SavedFile, ReadOnlyFolderIsWrittenInPlaceOrNotAtAll)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may create files in any folder";
    TempDb t;
    const QDir d(t.dir.path());
    const QByteArray damaged("\x30\x00\x00\x00not a stream", 16);
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    ASSERT_TRUE(qvtest::writeFile(d.filePath("damaged.dat"), damaged));
    Database dbs[3];  // a good file, a damaged one that must be kept aside, none yet
    const char* names[] = {"kvrn.dat", "damaged.dat", "new.dat"};
    for (int i = 0; i < 3; ++i) {
        dbs[i].load(d.filePath(names[i]));
        createDirectory(dbs[i], nullptr, NewDirectoryPlace::LastSibling);
    }
    const ino_t inode = statOf(t.path()).st_ino;
    ASSERT_EQ(chmodTo(d.path(), 0555), 0);
    const SaveReport r[] = {dbs[0].save(), dbs[1].save(), dbs[2].save()};
    chmodTo(d.path(), 0755);
    ASSERT_TRUE(r[0].ok) << r[0].message.toStdString();
    EXPECT_EQ(statOf(t.path()).st_ino, inode);
    EXPECT_EQ(imageInFile(t.path()), dbs[0].image.bytes());
    EXPECT_TRUE(r[1].message.contains("没有写入权限")) << r[1].message.toStdString();
    EXPECT_TRUE(r[2].message.contains("没有写入权限")) << r[2].message.toStdString();
    EXPECT_EQ(qvtest::readFile(d.filePath("damaged.dat")), damaged);
    EXPECT_EQ(d.entryList(QDir::Files | QDir::Hidden), (QStringList{"damaged.dat", "kvrn.dat"}));
}

TEST(SavedFile, UnreadableFileIsKeptAsideOrSavedOverAsItIs)
{
    TempDb t;
    const QByteArray good = qvtest::makeFile(sampleImage().bytes);
    ASSERT_TRUE(qvtest::writeFile(t.path(), good));
    ASSERT_EQ(chmodTo(t.path(), 0), 0);
    Database db, again;
    const LoadReport load = db.load(t.path());
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    const SaveReport r = db.save();
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    // Root reads it as any other file: loaded, then saved over with its mode kept.
    const bool root = geteuid() == 0;
    EXPECT_EQ(load.status, root ? FileReadResult::Ok : FileReadResult::Unreadable);
    EXPECT_TRUE(root || load.detail.endsWith("：没有读取权限")) << load.detail.toStdString();
    EXPECT_EQ(r.preservedAs, root ? QString() : t.path() + ".damaged");
    EXPECT_TRUE(!root || (statOf(t.path()).st_mode & 07777) == 0);
    EXPECT_TRUE(root || (chmodTo(r.preservedAs, 0600) == 0 && qvtest::readFile(r.preservedAs) == good));
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), db.tree.count());
}

TEST(SaveFailure, FileSizeLimitIsAFailedSaveSaidInChinese)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    const QByteArray original = qvtest::readFile(t.path());
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    fillWithNoise(db, 2000);
    // Exit code bits: 1 the atomic save, 2 the in-place write, 4 the file afterwards.
    EXPECT_EQ(inChildWithFileSizeLimit(4096, [&] {
                  const SaveReport r = db.save();
                  const WriteResult w = overwriteDatabaseFile(t.path(), db.image.bytes(), {});
                  return (r.ok || !db.ModifiedFlag || !r.message.contains("文件过大") ||
                          !r.message.endsWith("原来的文件保持不变")) * 1 +
                         (w.ok || !w.oldFileIntact || !w.error.contains("文件过大")) * 2 +
                         (qvtest::readFile(t.path()) != original) * 4;
              }),
              0);
    EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kvrn.dat"});
}

TEST(SaveFailure, ErrorCodesAreSaidInChinese)
{
    const std::tuple<int, const char*, const char*> cases[] = {
        {ENOSPC, "磁盘空间不足", "no space left on the disk"},
        {EACCES, "没有写入权限", "permission denied"},
        {EPERM, "没有写入权限", "permission denied"},
        {EFBIG, "文件过大", "the file is too large"},
        {EROFS, "文件系统只读", "the file system is read-only"},
        {EDQUOT, "超出磁盘配额", "the disk quota is exceeded"},
        {ENOTDIR, "该位置已有同名文件/目录", "a file or folder of that name is in the way"},
        {EEXIST, "该位置已有同名文件/目录", "a file or folder of that name is in the way"},
    };
    for (const auto& [err, zh, en] : cases) {
        EXPECT_EQ(describeFileError(err).toStdString(), zh) << err;
        EXPECT_EQ(describeFileErrorInEnglish(err).toStdString(), en) << err;
        EXPECT_EQ(englishFileError(describeFileError(err)).toStdString(), en) << err;
    }
    const int unknown = 1234;
    EXPECT_TRUE(describeFileError(unknown).contains(QString::fromLocal8Bit(std::strerror(unknown))));
    EXPECT_TRUE(englishFileError(describeFileError(unknown)).isEmpty());

    // A link that leads nowhere is named as such, in both languages.
    TempDb t;
    ASSERT_TRUE(QFile::link(t.dir.filePath("gone"), t.path()));
    EXPECT_EQ(describePathError(t.path(), ENOENT).toStdString(), "链接指向不存在的文件");
    EXPECT_EQ(describePathErrorInEnglish(t.path(), ENOENT).toStdString(),
              "the link points to a file that does not exist");
    EXPECT_EQ(describePathError(t.dir.filePath("plain"), ENOENT), describeFileError(ENOENT));
}

TEST(Preload, TheLoadReadsTheFileAsItIsThen)
{
    ImageBuilder more = sampleImage();
    more.entry(gb("新区"), 1, "100001", "010");
    const std::vector<uint8_t> first = sampleImage().bytes, second = more.bytes;
    const struct {
        const char* what;
        bool existsBefore;
        bool replaced;  // by `second` between the preload and the load
        bool preloadOther;
    } cases[] = {
        {"unchanged", true, false, false},
        {"replaced meanwhile", true, true, false},
        {"created meanwhile", false, true, false},
        {"another file preloaded", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDb t;
        if (c.existsBefore) {
            ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(first)));
        }
        preloadDatabaseFile(c.preloadOther ? t.dir.filePath("other.dat") : t.path());
        if (c.replaced) {
            const QString next = t.dir.filePath("next.dat");
            ASSERT_TRUE(qvtest::writeFile(next, qvtest::makeFile(second)));
            ASSERT_EQ(std::rename(QFile::encodeName(next).constData(), QFile::encodeName(t.path()).constData()), 0);
        }
        Database db;
        ASSERT_TRUE(db.load(t.path()).ok());
        EXPECT_EQ(db.image.bytes(), c.replaced ? second : first);
    }
}

TEST(SaveFailure, KillAtAnyMomentLeavesTheOldOrTheNewFile)
{
    // A save killed (-9) at a random moment, QV_KILL_TRIALS times: the file
    // is then the old one or the new one, byte for byte, never a mix.
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    const QByteArray oldFile = qvtest::readFile(t.path());
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    fillWithNoise(db, 40000);
    // Saves in a child, killed after `delayUs` (never when negative); the
    // child's save leaves `db` here as it was.
    auto saveInChild = [&](int64_t delayUs) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(db.save().ok ? 0 : 1);
        if (delayUs >= 0) {
            usleep(useconds_t(delayUs));
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    };
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(saveInChild(-1), 0);
    const int64_t saveUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    const QByteArray newFile = qvtest::readFile(t.path());
    ASSERT_NE(newFile, oldFile);
    const char* env = std::getenv("QV_KILL_TRIALS");
    const int trials = env ? std::atoi(env) : 20;
    std::mt19937 rng{uint32_t(saveUs)};
    int old = 0, fresh = 0, leftovers = 0;
    for (int i = 0; i < trials; ++i) {
        ASSERT_TRUE(qvtest::writeFile(t.path(), oldFile));
        // Most kills fall late, where the file is written and renamed; compressing comes first.
        const int64_t from = i % 3 ? saveUs / 2 : 0;
        saveInChild(from + int64_t(rng() % uint32_t(saveUs * 11 / 10 - from + 1)));
        const QByteArray now = qvtest::readFile(t.path());
        EXPECT_TRUE(now == oldFile || now == newFile) << "trial " << i << ": " << now.size() << " bytes";
        (now == oldFile ? old : fresh) += 1;
        // A killed save may leave its unfinished temporary file beside it, never under the name itself.
        leftovers = int(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden).size()) - 1;
    }
    std::printf("kill -9 during a %lld ms save: %d trials, %d old files, %d new files, %d temporary files left\n",
                static_cast<long long>(saveUs / 1000), trials, old, fresh, leftovers);
    // The next save removes what the killed ones left.
    ASSERT_EQ(saveInChild(-1), 0);
    EXPECT_EQ(QDir(t.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kvrn.dat"});
}

// ---- One writer per file ---------------------------------------------------

TEST(OneWriter, TheLockIsTakenHeldOrTakenOverWhenItsOwnerIsGone)
{
    // A process that ended, for a lock that names it.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const QString host = FileLock::thisHost();
    const struct {
        const char* what;
        QByteArray content;     // of a lock file left there; none when empty
        bool heldByAnother;     // a running process holds the lock
        FileLock::State state;
        bool tookOver;
        const char* ownerHost;  // when Held
    } cases[] = {
        {"no lock yet", {}, false, FileLock::State::Taken, false, nullptr},
        {"left by a killed program on this host", QByteArray::number(gone) + "\n" + host.toUtf8() + "\n", false,
         FileLock::State::Taken, true, nullptr},
        {"held by a running program", {}, true, FileLock::State::Held, false, ""},
        {"named by a program on another host", "4242\nelsewhere\n", false, FileLock::State::Held, false,
         "elsewhere"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDb t;
        const QString lockFile = FileLock::lockFileName(t.path());
        if (!c.content.isEmpty()) {
            ASSERT_TRUE(qvtest::writeFile(lockFile, c.content));
        }
        int ready[2], done[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(done), 0);
        pid_t holder = -1;
        if (c.heldByAnother) {
            holder = fork();
            if (holder == 0) {
                close(done[1]);  // so that the parent's close ends the read below
                FileLock lock;
                const char ok = lock.acquire(t.path()) == FileLock::State::Taken ? 'y' : 'n';
                char wait = 0;
                const bool waited = write(ready[1], &ok, 1) == 1 && read(done[0], &wait, 1) >= 0;
                lock.release();  // as the window does when it closes
                _exit(waited ? 0 : 1);
            }
            char ok = 0;
            ASSERT_EQ(read(ready[0], &ok, 1), 1);
            ASSERT_EQ(ok, 'y');
        }
        {
            FileLock lock;
            EXPECT_EQ(lock.acquire(t.path()), c.state);
            EXPECT_EQ(lock.tookOver(), c.tookOver);
            if (c.state == FileLock::State::Taken) {
                EXPECT_EQ(qvtest::readFile(lockFile), QByteArray::number(getpid()) + "\n" + host.toUtf8() + "\n");
                // A second window of this same program is told, with who holds it.
                FileLock second;
                EXPECT_EQ(second.acquire(t.path()), FileLock::State::Held);
                EXPECT_EQ(second.owner().pid, getpid());
                EXPECT_EQ(second.owner().host, host);
            } else {
                EXPECT_EQ(lock.owner().pid, c.heldByAnother ? holder : 4242);
                EXPECT_EQ(lock.owner().host, c.heldByAnother ? host : QString::fromUtf8(c.ownerHost));
            }
        }
        if (c.heldByAnother) {
            close(done[1]);
            waitpid(holder, nullptr, 0);
        }
        for (int fd : {ready[0], ready[1], done[0], done[1]})
            close(fd);
        // A lock given up goes; one held elsewhere stays as it was.
        EXPECT_EQ(QFile::exists(lockFile), c.state == FileLock::State::Held && !c.heldByAnother) << c.what;
    }
}

TEST(OneWriter, ASaveFindsTheFileChangedSinceItWasRead)
{
    const QByteArray original = qvtest::makeFile(sampleImage().bytes);
    const struct {
        const char* what;
        std::function<void(const QString& path)> meanwhile;
        bool changed;
    } cases[] = {
        {"untouched", [](const QString&) {}, false},
        {"saved by another window",
         [](const QString& path) {
             Database other;
             other.load(path);
             createDirectory(other, nullptr, NewDirectoryPlace::LastSibling);
             other.save();
         },
         true},
        {"rewritten in place with its size and time kept",
         [](const QString& path) {
             const struct stat before = statOf(path);
             QFile f(path);
             if (!f.open(QIODevice::ReadWrite))
                 return;
             QByteArray bytes = f.readAll();
             bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 1);
             f.seek(0);
             f.write(bytes);
             f.close();
             const timespec times[2] = {before.st_atim, before.st_mtim};
             utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
         },
         true},
        {"removed: nothing there to overwrite", [](const QString& path) { QFile::remove(path); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDb t;
        ASSERT_TRUE(qvtest::writeFile(t.path(), original));
        Database db;
        ASSERT_TRUE(db.load(t.path()).ok());
        c.meanwhile(t.path());
        EXPECT_EQ(db.changedOnDisk(), c.changed);
        // What this window saved is its own again.
        createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        ASSERT_TRUE(db.save().ok);
        EXPECT_FALSE(db.changedOnDisk());
    }
    // A file created where there was none when the window started.
    TempDb t;
    Database db;
    EXPECT_EQ(db.load(t.path()).status, FileReadResult::Missing);
    EXPECT_FALSE(db.changedOnDisk());
    ASSERT_TRUE(qvtest::writeFile(t.path(), original));
    EXPECT_TRUE(db.changedOnDisk());
}

TEST(OneWriter, AReadOnlyDatabaseIsNeverWrittenButSavesUnderAnotherName)
{
    TempDb t;
    const QByteArray original = qvtest::makeFile(sampleImage().bytes);
    ASSERT_TRUE(qvtest::writeFile(t.path(), original));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    db.setReadOnly("已在另一个窗口中打开");
    // Nothing changed: a refused save leaves nothing to ask about at exit.
    SaveReport r = db.save();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.toStdString(), "已在另一个窗口中打开");
    EXPECT_FALSE(db.ModifiedFlag);
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    EXPECT_FALSE(db.save().ok);
    EXPECT_TRUE(db.ModifiedFlag);
    EXPECT_EQ(qvtest::readFile(t.path()), original);

    // A name that cannot be written changes nothing; one that can is the file from then on.
    EXPECT_FALSE(db.saveAs(t.dir.filePath("missing/other.dat")).ok);
    EXPECT_EQ(db.path(), t.path());
    EXPECT_FALSE(db.readOnlyReason().isEmpty());
    EXPECT_TRUE(db.ModifiedFlag);
    const QString other = t.dir.filePath("other.dat");
    ASSERT_TRUE(db.saveAs(other).ok);
    EXPECT_EQ(db.path(), other);
    EXPECT_TRUE(db.readOnlyReason().isEmpty());
    EXPECT_FALSE(db.ModifiedFlag);
    EXPECT_FALSE(db.changedOnDisk());
    EXPECT_EQ(qvtest::readFile(t.path()), original);
    Database again;
    ASSERT_TRUE(again.load(other).ok());
    EXPECT_EQ(again.tree.count(), db.tree.count());
}

TEST(OneWriter, TemporaryFilesOfKilledSavesGoThoseInUseStay)
{
    TempDb t;
    const QDir d(t.dir.path());
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(sampleImage().bytes)));
    // A save in progress: its temporary file, made as a save makes it, still open.
    QString live;
    int err = 0;
    const int fd = createTemporaryBeside(t.path(), &live, &err);
    ASSERT_GE(fd, 0) << err;
    const struct {
        const char* name;
        bool removed;
    } cases[] = {
        {"kvrn.dat.0a1b2c", true},    // a save's, killed
        {".kvrn.dat.aZ09xQ", true},   // an earlier version's first copy, killed
        {"kvrn.dat.0A1B2C", false},   // not a name a save makes
        {"kvrn.dat.0a1b2c3", false},
        {"kvrn.dat.damaged", false},
        {"kvrn.dat.lock", false},
        {"other.dat.0a1b2c", false},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(qvtest::writeFile(d.filePath(c.name), "partial"));
    ASSERT_TRUE(d.mkdir("kvrn.dat.abcdef"));  // a folder of that pattern is no file of ours
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_TRUE(db.save().ok);
    for (const auto& c : cases)
        EXPECT_EQ(QFile::exists(d.filePath(c.name)), !c.removed) << c.name;
    EXPECT_TRUE(QFile::exists(live)) << "a running save's file stays";
    EXPECT_TRUE(QFileInfo(d.filePath("kvrn.dat.abcdef")).isDir());
    close(fd);
    // Once its save has ended (or was killed), it goes too.
    EXPECT_EQ(removeStaleTemporaries(t.path()), 1);
    EXPECT_FALSE(QFile::exists(live));
}
