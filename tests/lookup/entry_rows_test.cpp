#include "lookup/EntryRows.h"
#include "entries/EntryEditing.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

// ---- text comparison ----

TEST(CompareEntryText, FoldsAsciiLettersOnly)
{
    EXPECT_EQ(compareEntryText("Beijing", "BEIJING"), 0);
    EXPECT_EQ(compareEntryText("abc", "ABC"), 0);
    // '_' (0x5F) lies between the upper- and lower-case letters: folding
    // puts it after every letter.
    EXPECT_GT(compareEntryText("_", "a"), 0);
    EXPECT_GT(compareEntryText("_", "A"), 0);
    // Only a to z fold: '{' and '[' stay apart.
    EXPECT_NE(compareEntryText("{", "["), 0);
    EXPECT_EQ(sign(compareEntryText("a", "b")), -1);
    EXPECT_EQ(sign(compareEntryText("B", "a")), 1);
}

TEST(CompareEntryText, ShorterPrefixComesFirst)
{
    EXPECT_LT(compareEntryText("010", "0101"), 0);
    EXPECT_GT(compareEntryText("0101", "010"), 0);
    EXPECT_LT(compareEntryText("", "0"), 0);
    EXPECT_EQ(compareEntryText("", ""), 0);
    EXPECT_LT(compareEntryText("ab", "ABC"), 0);
}

TEST(CompareEntryText, NumbersCompareAsText)
{
    EXPECT_LT(compareEntryText("010", "0755"), 0);
    EXPECT_LT(compareEntryText("10", "9"), 0);
    EXPECT_GT(compareEntryText("9", "10"), 0);
}

TEST(CompareEntryText, GbkBytesAreUnsigned)
{
    // 北 is B1 B1, 京 is BE A9: both sort after every ASCII text.
    EXPECT_GT(compareEntryText(gbk("北"), "zzz"), 0);
    EXPECT_GT(compareEntryText(gbk("北"), "\x7F"), 0);
    EXPECT_LT(compareEntryText(gbk("北"), gbk("京")), 0);
    EXPECT_LT(compareEntryText(gbk("北京"), gbk("北京市")), 0);
    // Bytes above 0x7F are never folded.
    EXPECT_NE(compareEntryText("\xE1", "\xC1"), 0);
    EXPECT_EQ(sign(compareEntryText("\x80", "\xFF")), -1);
}

// ---- sorting ----

class SortEntryRowsTest : public ::testing::Test {
protected:
    struct Row {
        const char* dir;
        const char* name;
        const char* area;
        const char* post;
    };
    void SetUp() override
    {
        // Positions number the rows so that the order can be read back.
        const Row rows[] = {
            {"d2", "b", "0755", "518000"}, {"d1", "A", "010", "100000"}, {"d1", "c", "9", "100001"},
            {"d2", "a", "10", "518001"},   {"d1", "B", "010", "100002"},
        };
        int32_t pos = 0;
        for (const Row& r : rows)
            set.rows.push(pos++, set.addDirectoryName(r.dir), r.name, r.area, r.post);
    }
    std::vector<int32_t> positions() const
    {
        std::vector<int32_t> out;
        for (const EntryRow& r : set.rows)
            out.push_back(r.position);
        return out;
    }
    // Sorts and checks that the permutation describes what happened.
    std::vector<int32_t> sortBy(int column, int direction)
    {
        const std::vector<int32_t> before = positions();
        const std::vector<int> perm = sortEntryRows(set, column, direction);
        const std::vector<int32_t> after = positions();
        EXPECT_EQ(perm.size(), before.size());
        for (size_t i = 0; i < perm.size() && i < after.size(); ++i)
            EXPECT_EQ(after[i], before[size_t(perm[i])]) << "new index " << i;
        return after;
    }
    EntryRowSet set;
};

TEST_F(SortEntryRowsTest, AscendingAndDescendingAreStableForEqualKeys)
{
    // Area codes: 0755, 010, 9, 10, 010 — the two 010 keep their order both ways.
    EXPECT_EQ(sortBy(kColumnAreaCode, +1), (std::vector<int32_t>{1, 4, 0, 3, 2}));
    EXPECT_EQ(sortBy(kColumnAreaCode, -1), (std::vector<int32_t>{2, 3, 0, 1, 4}));
}

TEST_F(SortEntryRowsTest, CaseDifferencesCountAsEqual)
{
    // Names b, A, c, a, B: A/a and b/B are equal pairs and keep their order.
    EXPECT_EQ(sortBy(kColumnName, +1), (std::vector<int32_t>{1, 3, 0, 4, 2}));
    EXPECT_EQ(sortBy(kColumnName, -1), (std::vector<int32_t>{2, 0, 4, 1, 3}));
}

TEST_F(SortEntryRowsTest, DirectoryAndPostcodeColumns)
{
    EXPECT_EQ(sortBy(kColumnDirectory, +1), (std::vector<int32_t>{1, 2, 4, 0, 3}));
    EXPECT_EQ(sortBy(kColumnPostcode, -1), (std::vector<int32_t>{3, 0, 4, 2, 1}));
}

TEST_F(SortEntryRowsTest, StableOnALongList)
{
    // Long enough that a sort which is only stable on short runs shows itself.
    set.clear();
    const char* codes[] = {"021", "010", "0755", "010", "021"};
    for (int32_t i = 0; i < 60; ++i)
        set.rows.push(i, 0, "n", codes[i % 5], "p");
    for (int direction : {+1, -1}) {
        const std::vector<int32_t> order = sortBy(kColumnAreaCode, direction);
        for (size_t i = 1; i < order.size(); ++i) {
            const int c = compareEntryText(set.rows[i - 1].areaText(), set.rows[i].areaText()) * direction;
            EXPECT_LE(c, 0) << "at " << i;
            if (c == 0) {  // each sort started from ascending positions within a key
                EXPECT_LT(order[i - 1], order[i]) << "at " << i;
            }
        }
    }
}

TEST_F(SortEntryRowsTest, ByKeyIsAscendingAndStable)
{
    // Keys below 65,536 take the counting pass, others the radix sort.
    const std::vector<std::vector<uint64_t>> cases = {
        {3, 1, 2, 1, 0, 3, 65535, 1},
        {70000, 5, 70000, 1, 5},
        {uint64_t(1) << 60, 7, uint64_t(1) << 40 | 3, 7, (uint64_t(1) << 60) - 1, 0},
    };
    for (const std::vector<uint64_t>& c : cases) {
        set.clear();
        for (size_t i = 0; i < c.size(); ++i)
            set.rows.push(int32_t(i), 0, "n", "a", "p");
        LargeVector<uint64_t> keys(c.begin(), c.end());
        sortEntryRowsByKey(set, keys);
        std::vector<int32_t> want(c.size());
        for (size_t i = 0; i < want.size(); ++i)
            want[i] = int32_t(i);
        std::stable_sort(want.begin(), want.end(), [&](int32_t a, int32_t b) { return c[size_t(a)] < c[size_t(b)]; });
        EXPECT_EQ(positions(), want) << c.size() << " keys, first " << c[0];
    }
}

TEST_F(SortEntryRowsTest, DirectionZeroMovesNothing)
{
    sortBy(kColumnName, +1);
    const std::vector<int32_t> before = positions();
    EXPECT_EQ(sortEntryRows(set, kColumnAreaCode, 0), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(positions(), before);
}

// ---- listing and relocation ----

// Directory 1 with subdirectory 2, and directory 3; entries of all three,
// some deleted.
ImageBuilder listingImage()
{
    ImageBuilder b;
    b.dir("One", 0, 1).dir("Two", 1, 2).dir("Three", 0, 3).end(3).learnedCount(0);
    b.entry("one-a", 1, "100000", "010");
    b.entry("two-a", 2, "200000", "020");
    b.entry("one-gone", -1, "100001", "011");
    b.entry("three-a", 3, "300000", "030");
    b.entry("one-b", 1, "100002", "012");
    b.entry("zero", 0, "000000", "000");
    b.entry("one-c", 1, "100003", "013");
    return b;
}

std::vector<std::string> names(const EntryRowSet& set)
{
    std::vector<std::string> out;
    for (const EntryRow& r : set.rows)
        out.emplace_back(r.nameText());
    return out;
}

// Every row must name its own record in `image`.
void expectRowsOnTheirRecords(const EntryRowSet& set, const DatabaseImage& image)
{
    for (const EntryRow& r : set.rows) {
        ASSERT_TRUE(image.isEntryPosition(r.position)) << r.position;
        const EntryRecord rec = image.readEntry(r.position);
        EXPECT_EQ(rec.name, r.nameText());
        EXPECT_EQ(rec.areaCode, r.areaText());
        EXPECT_EQ(rec.postcode, r.postText());
    }
}

TEST(ListDirectory, ListsOnlyTheDirectorysLiveEntries)
{
    Database db;
    db.loadImage(listingImage().bytes);
    const int32_t start = db.image.entrySectionStart();

    const EntryRowSet one = listDirectory(db.image, 1, "One");
    EXPECT_EQ(names(one), (std::vector<std::string>{"one-a", "one-b", "one-c"}));
    ASSERT_EQ(one.rows.size(), 3u);
    EXPECT_EQ(one.rows[0].position, start);
    EXPECT_EQ(one.rows[1].position, start + 4 * kEntryRecordSize);
    EXPECT_EQ(one.rows[2].position, start + 6 * kEntryRecordSize);
    for (const EntryRow& r : one.rows)
        EXPECT_EQ(one.directoryText(r), "One");
    EXPECT_EQ(one.rows[1].areaText(), "012");
    EXPECT_EQ(one.rows[1].postText(), "100002");
    expectRowsOnTheirRecords(one, db.image);

    EXPECT_EQ(names(listDirectory(db.image, 2, "Two")), (std::vector<std::string>{"two-a"}));
    EXPECT_TRUE(listDirectory(db.image, 4, "none").rows.empty());
}

class RelocateRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(qvtest::writeFile(dir.filePath("kvrn.dat"), qvtest::makeFile(listingImage().bytes)));
        ASSERT_TRUE(db.load(dir.filePath("kvrn.dat")).ok());
    }
    QTemporaryDir dir;
    Database db;
};

TEST_F(RelocateRowsTest, AddedPlacesGrowTheImageInPlace)
{
    // After a load and after a save that rebuilds the image, places added
    // (while the list reads the same bytes) land in the room behind the
    // image: no second copy, the list still shares the buffer.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const EntryRowSet set = listDirectory(db.image, 1, "One");
        const std::vector<std::string> listed = names(set);
        const uint8_t* before = db.image.bytes().data();
        const size_t room = (db.image.bytes().capacity() - db.image.bytes().size()) / kEntryRecordSize;
        ASSERT_GE(room, size_t(1) << 14);  // a megabyte's worth at least
        for (size_t i = 0; i < room; ++i)
            ASSERT_GE(appendEntry(db, 1, EntryText{"new", "0755", "518000"}), 0);
        EXPECT_EQ(db.image.bytes().data(), before);
        EXPECT_TRUE(set.rows.image().sameBytes(db.image.ref()));
        EXPECT_EQ(listDirectory(db.image, 1, "One").rows.size(), set.rows.size() + room);
        // Past the room the image moves on; the list keeps the bytes it reads.
        ASSERT_GE(appendEntry(db, 1, EntryText{"past", "0755", "518000"}), 0);
        EXPECT_NE(db.image.bytes().data(), before);
        EXPECT_EQ(names(set), listed);
        EXPECT_GE(db.image.bytes().capacity(), DatabaseImage::capacityFor(size_t(db.image.size())) - kEntryRecordSize);
        // A save with a longer front builds a new image, with room of its own.
        ASSERT_NE(createDirectory(db, nullptr, NewDirectoryPlace::LastSibling), nullptr);
        ASSERT_TRUE(db.save().ok);
    }
}

TEST_F(RelocateRowsTest, RowsFollowASaveThatMovesTheEntrySection)
{
    EntryRowSet set = listDirectory(db.image, 1, "One");
    // Two more directories make the front 72 bytes longer.
    ASSERT_NE(createDirectory(db, nullptr, NewDirectoryPlace::LastSibling), nullptr);
    ASSERT_NE(createDirectory(db, nullptr, NewDirectoryPlace::LastSibling), nullptr);
    const int32_t oldStart = db.image.entrySectionStart();
    const SaveReport saved = db.save();
    ASSERT_TRUE(saved.ok);
    ASSERT_EQ(db.image.entrySectionStart(), oldStart + 2 * 36);
    // Until told, the rows go on reading the bytes they were listed from
    // (a save runs beside the window, which keeps painting them).
    EXPECT_EQ(names(set), (std::vector<std::string>{"one-a", "one-b", "one-c"}));

    EXPECT_TRUE(relocateRows(set, saved.relocation).empty());
    EXPECT_EQ(names(set), (std::vector<std::string>{"one-a", "one-b", "one-c"}));
    expectRowsOnTheirRecords(set, db.image);
    // And an edit through a relocated row reaches the right record.
    ASSERT_TRUE(rewriteEntry(db, set.rows[1].position, EntryText{"renamed", "012", "100002"}));
    EXPECT_EQ(names(listDirectory(db.image, 1, "One")), (std::vector<std::string>{"one-a", "renamed", "one-c"}));
}

TEST_F(RelocateRowsTest, RowsFollowACompactionAndLoseRemovedRecords)
{
    // The search-like list of the live entries of every directory.
    EntryRowSet set;
    for (int32_t id : {1, 2, 3, 0})
        set.append(listDirectory(db.image, id, ""));
    ASSERT_EQ(names(set), (std::vector<std::string>{"one-a", "one-b", "one-c", "two-a", "three-a", "zero"}));
    // Delete one-b and two-a through their rows, then compact.
    ASSERT_TRUE(deleteEntry(db, set.rows[1].position));
    ASSERT_TRUE(deleteEntry(db, set.rows[3].position));
    const Relocation moved = compactEntries(db);

    EXPECT_EQ(relocateRows(set, moved), (std::vector<int>{1, 3}));
    EXPECT_EQ(names(set), (std::vector<std::string>{"one-a", "one-c", "three-a", "zero"}));
    expectRowsOnTheirRecords(set, db.image);
}

TEST_F(RelocateRowsTest, IdentityRelocationKeepsRows)
{
    EntryRowSet set = listDirectory(db.image, 1, "One");
    const SaveReport saved = db.save();  // nothing changed: the front keeps its length
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(relocateRows(set, saved.relocation).empty());
    EXPECT_EQ(set.rows.size(), 3u);
    expectRowsOnTheirRecords(set, db.image);
}

}  // namespace

namespace {

TEST(SharedImage, AnAppendNeverMovesBytesThatRowsRead)
{
    // The list may be painting on one thread while another appends.
    Database db;
    db.loadImage(listingImage().bytes);
    db.image.bytes().shrink_to_fit();  // full: the next record needs more room
    const EntryRowSet set = listDirectory(db.image, 1, "One");
    const uint8_t* before = set.rows.image().bytes->data();
    ASSERT_GE(appendEntry(db, 1, EntryText{"one-d", "014", "100004"}), 0);
    EXPECT_EQ(set.rows.image().bytes->data(), before);
    EXPECT_FALSE(set.rows.image().sameBytes(db.image.ref()));
    EXPECT_EQ(names(set), (std::vector<std::string>{"one-a", "one-b", "one-c"}));
    EXPECT_EQ(names(listDirectory(db.image, 1, "One")), (std::vector<std::string>{"one-a", "one-b", "one-c", "one-d"}));
}

}  // namespace
