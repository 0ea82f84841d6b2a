// Damaged and hostile database files: whatever the bytes, loading must end in
// a usable database (empty with a message, or what could be read), quickly,
// without crashing and without allocating what the header merely claims.
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include <random>
#include <sys/stat.h>
#include <string>
#include <tuple>
#include <vector>

// Every operator new of this program goes through here, so that a test can
// tell the largest single allocation a load asked for.
namespace {
std::atomic<size_t> g_largestAllocation{0};
}

void* operator new(std::size_t n)
{
    size_t seen = g_largestAllocation.load(std::memory_order_relaxed);
    while (n > seen && !g_largestAllocation.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

constexpr size_t kMiB = size_t(1) << 20;

struct TempDb {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("kvrn.dat"); }
};

std::vector<std::tuple<int, std::string, int32_t>> shape(const DirectoryTree& tree)
{
    std::vector<std::tuple<int, std::string, int32_t>> out;
    tree.forEach([&](const DirectoryNode* n, int depth) { out.emplace_back(depth, n->caption, n->id); });
    return out;
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out)
        b = uint8_t(rng());
    return out;
}

QByteArray withHeader(int32_t length, const std::vector<uint8_t>& rest)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char(uint32_t(length) >> (8 * i));
    out.append(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size()));
    return out;
}

// A well-formed image: nested directories, learned initials, live and
// deleted entries.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(gbk("广东省"), 0, 1).dir(gbk("深圳市"), 1, 2).dir(gbk("南山区"), 2, 3).dir(gbk("广州市"), 1, 4);
    b.dir(gbk("安徽省"), 0, 5).dir(gbk("亳州市"), 1, 6).end(8);
    b.learnedCount(2).learned(0xD9, 0xF1, 'B').learned(0xE4, 0xF0, 'L');
    for (int i = 0; i < 12; ++i)
        b.entry(gbk("蛇口") + std::to_string(i), i % 3 == 2 ? -(1 + i % 6) : 1 + i % 6, "518000", "0755");
    return b.bytes;
}

// What any loaded database must satisfy, and what its next save must keep:
// the image a save builds loads back into the same tree, learned table and
// entries, and a save of that builds the same bytes again.
void expectSane(const Database& db)
{
    int count = 0;
    int deepest = -1;
    db.tree.forEach([&](const DirectoryNode* n, int depth) {
        ++count;
        deepest = std::max(deepest, depth);
        EXPECT_LE(n->caption.size(), size_t(kNameCapacity));
    });
    EXPECT_LT(deepest, Database::kMaxLoadDepth);
    const DatabaseImage& img = db.image;
    EXPECT_GE(img.entrySectionStart(), 0);
    EXPECT_LE(img.entrySectionStart(), img.size());
    EXPECT_EQ((img.size() - img.entrySectionStart()) % kEntryRecordSize, 0);

    int32_t start = 0;
    const std::vector<uint8_t> built = db.buildImage(&start);
    EXPECT_EQ(start, 36 * (count + 1) + 4 + 5 * int32_t(db.learned.size()));
    EXPECT_EQ(int64_t(built.size()) - start, img.size() - img.entrySectionStart());
    Database again;
    again.loadImage(built);
    EXPECT_EQ(shape(again.tree), shape(db.tree));
    EXPECT_EQ(again.tree.NextDirectoryId(), db.tree.NextDirectoryId());
    EXPECT_EQ(again.learned.size(), db.learned.size());
    EXPECT_EQ(again.image.entrySectionStart(), start);
    EXPECT_EQ(again.buildImage(), built);
}

// Loads `content` as kvrn.dat and expects an empty database with a message,
// no allocation near what the header claims, and the file kept aside (not
// overwritten) by the next save.
void expectRefused(const QByteArray& content, FileReadResult::Status expected = FileReadResult::Damaged)
{
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), content));
    Database db;
    g_largestAllocation = 0;
    const LoadReport report = db.load(t.path());
    EXPECT_LT(g_largestAllocation.load(), 64 * kMiB);
    EXPECT_EQ(report.status, expected);
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_TRUE(db.tree.isEmpty());
    EXPECT_EQ(db.image.size(), 0);
    EXPECT_EQ(db.image.entrySectionStart(), 0);
    EXPECT_TRUE(db.learned.empty());
    EXPECT_EQ(db.tree.NextDirectoryId(), 0);

    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    const SaveReport saved = db.save();
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged")), content);
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), 1);
}

}  // namespace

// ---- The header and the stream ---------------------------------------------

TEST(HostileHeader, FilesTooShortForTheLength)
{
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        expectRefused(QByteArray(n, '\x28'));
    }
}

TEST(HostileHeader, NegativeLengths)
{
    const std::vector<uint8_t> image = sampleImage();
    const QByteArray good = qvtest::makeFile(image);
    for (int32_t length : {-1, -48, INT_MIN}) {
        SCOPED_TRACE(length);
        expectRefused(qvtest::makeFile(image, length));
    }
    // The same stream with its true length loads.
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), good));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    EXPECT_EQ(db.image.bytes(), image);
}

TEST(HostileHeader, AbsurdLengthAllocatesOnlyWhatTheStreamYields)
{
    const std::vector<uint8_t> image = sampleImage();
    // A tiny valid stream under a header claiming 2 GiB.
    expectRefused(qvtest::makeFile(image, INT_MAX));
    // Large enough that deflate could in theory reach 2 GiB: garbage, and a
    // valid stream of incompressible data that ends far too early.
    expectRefused(withHeader(INT_MAX, randomBytes(3 * kMiB, 7)));
    expectRefused(qvtest::makeFile(randomBytes(3 * kMiB, 8), INT_MAX));
    expectRefused(qvtest::makeFile(randomBytes(3 * kMiB, 9), 1 << 30));
}

TEST(HostileHeader, LengthBeyondTheStream)
{
    const std::vector<uint8_t> image = sampleImage();
    for (int32_t extra : {1, 48, 100000}) {
        SCOPED_TRACE(extra);
        expectRefused(qvtest::makeFile(image, int32_t(image.size()) + extra));
    }
}

TEST(HostileHeader, LengthBelowAnEmptyDatabase)
{
    // A zeroed header would otherwise stand for an empty database and the
    // next save would drop the file.
    for (int32_t length : {0, 1, 39}) {
        SCOPED_TRACE(length);
        expectRefused(qvtest::makeFile(sampleImage(), length));
    }
}

TEST(HostileImage, NonPositiveDirectoryIdsAreDamage)
{
    // Such a directory would list the places deleted from directory -id as live.
    for (int32_t id : {-1, 0, INT_MIN}) {
        SCOPED_TRACE(id);
        ImageBuilder b;
        b.dir("a", 0, 1).dir("b", 0, id).end(1).learnedCount(0).entry("gone", id, "1", "2");
        expectRefused(qvtest::makeFile(b.bytes));
    }
}

TEST(HostileHeader, TruncatedStream)
{
    const std::vector<uint8_t> image = sampleImage();
    const QByteArray file = qvtest::makeFile(image);
    // Every cut that loses deflate data carrying bytes of the image is
    // refused (the end-of-block code and the trailer take at most the last 6).
    for (qsizetype cut = 4; cut < file.size() - 6; ++cut) {
        SCOPED_TRACE(cut);
        expectRefused(file.left(cut));
        if (testing::Test::HasFailure())
            break;
    }
    // Nearer the end the image may be complete; then it is loaded whole, and
    // otherwise refused, never anything in between.
    for (qsizetype cut = file.size() - 6; cut < file.size(); ++cut) {
        SCOPED_TRACE(cut);
        TempDb t;
        ASSERT_TRUE(qvtest::writeFile(t.path(), file.left(cut)));
        Database db;
        const LoadReport report = db.load(t.path());
        if (report.ok())
            EXPECT_EQ(db.image.bytes(), image);
        else
            EXPECT_EQ(db.image.size(), 0);
    }
}

TEST(HostileHeader, GarbageAndBrokenChecksums)
{
    const std::vector<uint8_t> image = sampleImage();
    expectRefused(withHeader(int32_t(image.size()), randomBytes(200, 1)));
    expectRefused(withHeader(int32_t(image.size()), randomBytes(64 * 1024, 2)));
    // A zlib header followed by junk.
    std::vector<uint8_t> junk = randomBytes(500, 3);
    junk[0] = 0x78;
    junk[1] = 0xDA;
    expectRefused(withHeader(int32_t(image.size()), junk));
    // Intact deflate data under a wrong Adler-32 trailer.
    QByteArray file = qvtest::makeFile(image);
    file[file.size() - 1] = char(file[file.size() - 1] ^ 0x01);
    expectRefused(file);
}

TEST(HostileHeader, HugeFileIsRefusedUnread)
{
    TempDb t;
    {
        QFile f(t.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize((qint64(1) << 30) + 4096));  // sparse: no disk used
    }
    Database db;
    g_largestAllocation = 0;
    const LoadReport report = db.load(t.path());
    EXPECT_LT(g_largestAllocation.load(), 64 * kMiB);
    EXPECT_EQ(report.status, FileReadResult::Damaged);
    EXPECT_TRUE(db.tree.isEmpty());
    EXPECT_EQ(db.image.size(), 0);
}

TEST(HostileHeader, DirectoryInPlaceOfTheFile)
{
    TempDb t;
    ASSERT_TRUE(QDir(t.dir.path()).mkpath("kvrn.dat/keep"));
    ASSERT_TRUE(qvtest::writeFile(t.dir.filePath("kvrn.dat/keep/note"), "mine"));
    Database db;
    const LoadReport report = db.load(t.path());
    EXPECT_FALSE(report.ok());
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_TRUE(db.tree.isEmpty());
    EXPECT_EQ(db.image.size(), 0);
    // The save keeps the folder, with what it holds, under the promised name.
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    const SaveReport saved = db.save();
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_EQ(qvtest::readFile(t.dir.filePath("kvrn.dat.damaged/keep/note")), QByteArray("mine"));
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), 1);
}

TEST(HostileHeader, PipesAndDevicesAreNotRead)
{
    // Reading either would never end: a pipe nobody writes to, a device
    // without an end.
    TempDb t;
    ASSERT_EQ(mkfifo(t.path().toLocal8Bit().constData(), 0600), 0);
    Database db;
    LoadReport report = db.load(t.path());
    EXPECT_EQ(report.status, FileReadResult::Unreadable);
    EXPECT_FALSE(report.message.isEmpty());
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_TRUE(db.save().ok);
    EXPECT_TRUE(QFileInfo(t.dir.filePath("kvrn.dat.damaged")).exists());

    TempDb u;
    ASSERT_TRUE(QFile::link("/dev/zero", u.path()));
    g_largestAllocation = 0;
    report = db.load(u.path());
    EXPECT_LT(g_largestAllocation.load(), 64 * kMiB);
    EXPECT_EQ(report.status, FileReadResult::Unreadable);
    EXPECT_TRUE(db.tree.isEmpty());
}

// ---- The image ---------------------------------------------------------

TEST(HostileImage, LengthBytesAboveTheFieldCapacity)
{
    ImageBuilder b;
    b.dir(std::string(25, 'd'), 0, 1).end(1).learnedCount(0).entry("e", 1, "", "");
    std::vector<uint8_t> img = b.bytes;
    img[0] = 200;                     // directory name
    const size_t e = 36 * 2 + 4;      // the entry
    img[e + entry_field::kNameLen] = 200;
    img[e + entry_field::kPostLen] = 255;
    img[e + entry_field::kAreaLen] = 9;
    Database db;
    db.loadImage(img);
    ASSERT_EQ(db.tree.count(), 1);
    EXPECT_EQ(db.tree.root()->children[0]->caption, std::string(25, 'd'));
    const EntryRecord r = db.image.readEntry(db.image.entrySectionStart());
    EXPECT_EQ(r.name.size(), 25u);
    EXPECT_EQ(r.postcode.size(), 8u);
    EXPECT_EQ(r.areaCode.size(), 5u);
    expectSane(db);
    // The directory is written back with a length its field can hold.
    EXPECT_EQ(db.buildImage()[0], 25);
}

TEST(HostileImage, PartialRecordsAtTheEnd)
{
    const std::vector<uint8_t> whole = sampleImage();
    const size_t front = 36 * 7 + 4 + 10;
    // A partial entry is dropped; the whole ones stay.
    for (size_t extra : {1, 20, 47}) {
        SCOPED_TRACE(extra);
        std::vector<uint8_t> img(whole.begin(), whole.end() - 48 + long(extra));
        Database db;
        db.loadImage(img);
        EXPECT_EQ(db.image.entrySectionStart(), int32_t(front));
        EXPECT_EQ(db.image.entryCount(), 11);
        expectSane(db);
    }
    // Cut inside the directory section, the learned count, the learned records.
    for (size_t cut : {size_t(0), size_t(10), size_t(36 * 3 + 5), size_t(36 * 7 + 2), front - 3}) {
        SCOPED_TRACE(cut);
        Database db;
        db.loadImage(std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)));
        EXPECT_EQ(db.image.entryCount(), 0);
        expectSane(db);
    }
}

TEST(HostileImage, ExtremeIdsAndOwners)
{
    {
        ImageBuilder b;
        b.dir("min", 0, INT_MIN).dir("max", 1, INT_MAX).dir("neg", 0, -5).dir("zero", 0, 0).end(7).learnedCount(0);
        for (int32_t owner : {INT_MIN, INT_MAX, -INT_MAX, 0, -5, 5, -7})
            b.entry("e", owner, "1", "2");
        Database db;
        db.loadImage(b.bytes);
        EXPECT_EQ(db.tree.count(), 4);
        expectSane(db);
        // INT_MAX is taken: no id is left to hand out, and none is reused.
        EXPECT_EQ(createDirectory(db, nullptr, NewDirectoryPlace::LastSibling), nullptr);

        const RecoveryResult rec = recoverEntries(db);
        EXPECT_EQ(rec.count, 3);  // every negative owner but INT_MIN, which has no positive id
        std::vector<int32_t> owners;
        db.image.forEachEntry([&](int32_t, const uint8_t* r) { owners.push_back(entryOwner(r)); });
        EXPECT_EQ(owners, (std::vector<int32_t>{INT_MIN, INT_MAX, INT_MAX, 0, 5, 5, 7}));
        expectSane(db);
        const Relocation moved = compactEntries(db);
        EXPECT_EQ(db.image.entryCount(), 6);
        EXPECT_EQ(moved.map(db.image.entrySectionStart()), -1);
        expectSane(db);
    }
    for (int32_t next : {INT_MIN, -1, 0, INT_MAX}) {
        SCOPED_TRACE(next);
        ImageBuilder b;
        b.dir("neg", 0, -3).dir("zero", 0, 0).dir("three", 0, 3).end(next).learnedCount(0);
        Database db;
        db.loadImage(b.bytes);
        expectSane(db);
        DirectoryNode* fresh = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        if (next == INT_MAX) {
            EXPECT_EQ(fresh, nullptr);
        } else {
            ASSERT_NE(fresh, nullptr);
            EXPECT_EQ(fresh->id, 4);
        }
    }
}

TEST(HostileImage, LevelJumpsOfMillions)
{
    ImageBuilder b;
    b.dir("a", 0, 1).dir("b", 5000000, 2).dir("c", INT_MAX, 3).dir("d", 1, 4).dir("e", 3000000, 5);
    b.dir("f", 2, 6).dir("g", 0, 7).end(7).learnedCount(0);
    Database db;
    db.loadImage(b.bytes);
    using S = std::vector<std::tuple<int, std::string, int32_t>>;
    EXPECT_EQ(shape(db.tree), (S{{0, "a", 1}, {1, "b", 2}, {2, "c", 3}, {1, "d", 4}, {2, "e", 5}, {2, "f", 6},
                                  {0, "g", 7}}));
    expectSane(db);
}

TEST(HostileImage, HundredThousandEverDeeperDirectories)
{
    constexpr int kCount = 100000;
    ImageBuilder b;
    b.bytes.reserve(size_t(kCount + 1) * 36 + 4 + 48);
    for (int i = 0; i < kCount; ++i)
        b.dir("d", i, i + 1);
    b.end(kCount).learnedCount(0).entry("leaf", kCount, "1", "2");
    TempDb t;
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(b.bytes)));
    {
        Database db;
        ASSERT_TRUE(db.load(t.path()).ok());
        EXPECT_EQ(db.tree.count(), kCount);
        int deepest = 0;
        db.tree.forEach([&](const DirectoryNode*, int depth) { deepest = std::max(deepest, depth); });
        EXPECT_EQ(deepest, Database::kMaxLoadDepth - 1);
        DirectoryNode* last = db.tree.findById(kCount);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->depth(), Database::kMaxLoadDepth - 1);
        expectSane(db);
        ASSERT_TRUE(db.save().ok);
    }
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.tree.count(), kCount);
    EXPECT_EQ(again.image.entryCount(), 1);
}

TEST(HostileImage, LearnedCountNegativeOrBeyondTheData)
{
    auto image = [](int32_t count) {
        ImageBuilder b;
        b.dir("a", 0, 1).end(1).learnedCount(count).learned(0xD9, 0xF1, 'B');
        b.entry("x", 1, "1", "2").entry("y", 1, "3", "4");
        return b.bytes;
    };
    for (int32_t count : {-1, INT_MIN}) {
        SCOPED_TRACE(count);
        Database db;
        db.loadImage(image(count));
        EXPECT_TRUE(db.learned.empty());
        EXPECT_EQ(db.image.entrySectionStart(), 36 * 2 + 4);
        expectSane(db);
    }
    for (int32_t count : {30, 1000, INT_MAX}) {
        SCOPED_TRACE(count);
        Database db;
        g_largestAllocation = 0;
        db.loadImage(image(count));
        EXPECT_LT(g_largestAllocation.load(), kMiB);
        EXPECT_LE(db.learned.size(), size_t(5 + 96) / 5);
        EXPECT_EQ(db.image.entryCount(), 0);
        expectSane(db);
    }
}

// ---- Random damage -------------------------------------------------------

TEST(HostileImage, RandomMutationsOfAValidImage)
{
    const std::vector<uint8_t> base = sampleImage();
    std::mt19937 rng(20240611);
    const int32_t extremes[] = {0, 1, -1, 2, 199, 200, 1000000, INT_MAX, INT_MIN, 36, 48};
    for (int iter = 0; iter < 20000 && !testing::Test::HasFailure(); ++iter) {
        SCOPED_TRACE(iter);
        std::vector<uint8_t> img = base;
        const int edits = 1 + int(rng() % 6);
        for (int k = 0; k < edits; ++k) {
            const size_t at = rng() % img.size();
            switch (rng() % 4) {
            case 0:
                img[at] = uint8_t(rng());
                break;
            case 1:
                if (at + 4 <= img.size())
                    writeLe32(img.data() + at, extremes[rng() % std::size(extremes)]);
                break;
            case 2:
                img.resize(at);
                break;
            default:
                img[at] ^= uint8_t(1u << (rng() % 8));
                break;
            }
            if (img.empty())
                break;
        }
        Database db;
        db.loadImage(img);
        expectSane(db);
        recoverEntries(db);
        compactEntries(db);
        expectSane(db);
    }
}

TEST(HostileHeader, RandomMutationsOfAValidFile)
{
    const QByteArray base = qvtest::makeFile(sampleImage());
    std::mt19937 rng(977);
    for (int iter = 0; iter < 20000 && !testing::Test::HasFailure(); ++iter) {
        SCOPED_TRACE(iter);
        QByteArray file = base;
        const int edits = 1 + int(rng() % 4);
        for (int k = 0; k < edits; ++k) {
            const qsizetype at = qsizetype(rng() % uint32_t(file.size()));
            if (rng() % 8 == 0)
                file.truncate(at);
            else
                file[at] = char(rng());
            if (file.isEmpty())
                break;
        }
        if (file.size() < 4)
            continue;
        const auto* p = reinterpret_cast<const uint8_t*>(file.constData());
        std::vector<uint8_t> out;
        QString why;
        g_largestAllocation = 0;
        const int32_t length = readLe32(p);
        const bool ok = inflateImage(p + 4, size_t(file.size() - 4), length, out, &why);
        EXPECT_LT(g_largestAllocation.load(), 64 * kMiB);
        if (!ok) {
            EXPECT_FALSE(why.isEmpty());
            EXPECT_TRUE(out.empty());
            continue;
        }
        EXPECT_EQ(int64_t(out.size()), int64_t(length));
        Database db;
        db.loadImage(std::move(out));
        expectSane(db);
    }
}
