#include "entries/EntryEditing.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

using Raw = std::vector<uint8_t>;

// Two directories and three records; the builder fills reserved bytes and
// the tails of text fields with 0xEE, which edits must leave alone.
class EntryEditingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImageBuilder b;
        b.dir(gbk("北京"), 0, 1).dir(gbk("上海"), 0, 2).end(2).learnedCount(0);
        b.entry(gbk("北京"), 1, "100000", "010");
        b.entry(gbk("上海"), 2, "200000", "021");
        b.entry(gbk("旧名"), -1, "300000", "0300");
        db.loadImage(b.bytes);
        start = db.image.entrySectionStart();
        ASSERT_EQ(db.image.entryCount(), 3);
    }

    int32_t recordPos(int index) const { return start + index * kEntryRecordSize; }
    Raw raw(int32_t pos) const
    {
        const uint8_t* p = db.image.entryAt(pos);
        return Raw(p, p + kEntryRecordSize);
    }
    // `record` with a text field overwritten the way the record layout says:
    // a length byte and the bytes, nothing after them.
    static void putField(Raw& record, int at, const std::string& text)
    {
        record[size_t(at)] = uint8_t(text.size());
        std::memcpy(record.data() + at + 1, text.data(), text.size());
    }
    static void putOwner(Raw& record, int32_t owner) { writeLe32(record.data() + entry_field::kOwner, owner); }

    // Runs `edit` on record `index` and checks that only that record changed,
    // into `expected`, and that ModifiedFlag was set.
    template <class F> void expectRecordBecomes(int index, const Raw& expected, F&& edit)
    {
        Raw image = db.image.bytes();
        std::copy(expected.begin(), expected.end(), image.begin() + recordPos(index));
        db.ModifiedFlag = false;
        EXPECT_TRUE(edit(recordPos(index)));
        EXPECT_EQ(raw(recordPos(index)), expected);
        EXPECT_EQ(db.image.bytes(), image);
        EXPECT_TRUE(db.ModifiedFlag);
    }

    Database db;
    int32_t start = 0;
};

}  // namespace

TEST_F(EntryEditingTest, AppendsGoToConsecutivePositions)
{
    const int64_t end = db.image.size();
    const Raw before = db.image.bytes();
    const std::vector<std::string> names = {gbk("天津"), "", gbk("重庆")};
    std::vector<int32_t> positions;
    for (size_t i = 0; i < names.size(); ++i) {
        db.ModifiedFlag = false;
        positions.push_back(appendEntry(db, 2, EntryText{names[i], "02" + std::to_string(i), "30000" + std::to_string(i)}));
        EXPECT_TRUE(db.ModifiedFlag);
    }
    EXPECT_EQ(positions, (std::vector<int32_t>{int32_t(end), int32_t(end + 48), int32_t(end + 96)}));
    EXPECT_EQ(db.image.size(), end + 3 * kEntryRecordSize);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), db.image.bytes().begin()));
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(db.image.isEntryPosition(positions[i]));
        const EntryRecord r = db.image.readEntry(positions[i]);
        EXPECT_EQ(r.name, names[i]);
        EXPECT_EQ(r.owner, 2);
        EXPECT_EQ(r.areaCode, "02" + std::to_string(i));
        EXPECT_EQ(r.postcode, "30000" + std::to_string(i));
    }
}

TEST_F(EntryEditingTest, TextsAreCutToFieldWidthsInBytes)
{
    const EntryText longText{std::string(30, 'n'), std::string(7, 'a'), std::string(10, 'p')};
    const int32_t appended = appendEntry(db, 1, longText);
    ASSERT_TRUE(rewriteEntry(db, recordPos(0), longText));
    for (int32_t pos : {appended, recordPos(0)}) {
        const EntryRecord r = db.image.readEntry(pos);
        EXPECT_EQ(r.name, std::string(25, 'n'));
        EXPECT_EQ(r.areaCode, std::string(5, 'a'));
        EXPECT_EQ(r.postcode, std::string(8, 'p'));
        EXPECT_EQ(db.image.entryAt(pos)[entry_field::kNameLen], 25);
        EXPECT_EQ(db.image.entryAt(pos)[entry_field::kAreaLen], 5);
        EXPECT_EQ(db.image.entryAt(pos)[entry_field::kPostLen], 8);
    }
}

TEST_F(EntryEditingTest, EmptyTextsMakeAnEntry)
{
    const int32_t pos = appendEntry(db, 1, EntryText{});
    const EntryRecord r = db.image.readEntry(pos);
    EXPECT_TRUE(r.name.empty() && r.areaCode.empty() && r.postcode.empty());
    EXPECT_EQ(r.owner, 1);
}

TEST_F(EntryEditingTest, RewriteChangesOnlyTheTextsItWrites)
{
    for (int index : {0, 2}) {  // a live record and a deleted one: the owner stays either way
        Raw expected = raw(recordPos(index));
        putField(expected, entry_field::kNameLen, gbk("新城"));
        putField(expected, entry_field::kPostLen, "1");
        putField(expected, entry_field::kAreaLen, "09");
        expectRecordBecomes(index, expected,
                            [&](int32_t pos) { return rewriteEntry(db, pos, EntryText{gbk("新城"), "09", "1"}); });
    }
}

TEST_F(EntryEditingTest, RewriteWithSameTextsStillSetsModified)
{
    const Raw same = raw(recordPos(1));
    expectRecordBecomes(1, same,
                        [&](int32_t pos) { return rewriteEntry(db, pos, EntryText{gbk("上海"), "021", "200000"}); });
}

TEST_F(EntryEditingTest, DeleteNegatesOnlyTheOwner)
{
    Raw expected = raw(recordPos(1));
    putOwner(expected, -2);
    expectRecordBecomes(1, expected, [&](int32_t pos) { return deleteEntry(db, pos); });
}

TEST_F(EntryEditingTest, DeletingADeletedEntryKeepsItDeleted)
{
    // A row can outlive its record's deletion (the list is not re-listed when
    // the directory of a search result goes); deleting it again must not
    // bring it back.
    const Raw same = raw(recordPos(2));
    expectRecordBecomes(2, same, [&](int32_t pos) { return deleteEntry(db, pos); });
    EXPECT_EQ(db.image.readEntry(recordPos(2)).owner, -1);
}

TEST_F(EntryEditingTest, MoveSetsOnlyTheOwner)
{
    Raw expected = raw(recordPos(0));
    putOwner(expected, 2);
    expectRecordBecomes(0, expected, [&](int32_t pos) { return moveEntry(db, pos, 2); });
}

TEST_F(EntryEditingTest, PositionsThatAreNotRecordsAreRefused)
{
    const int32_t size = int32_t(db.image.size());
    // A record-sized step back from the entry section lands in the directory section.
    const std::vector<int32_t> bad = {start + 1,  start + 47, start - 1, start - kEntryRecordSize, 0,
                                      size,       size + 48,  size - 1,  -1,  -48, INT32_MIN, INT32_MAX};
    const Raw before = db.image.bytes();
    for (int32_t pos : bad) {
        SCOPED_TRACE(pos);
        db.ModifiedFlag = false;
        EXPECT_FALSE(rewriteEntry(db, pos, EntryText{"x", "y", "z"}));
        EXPECT_FALSE(deleteEntry(db, pos));
        EXPECT_FALSE(moveEntry(db, pos, 2));
        EXPECT_EQ(db.image.bytes(), before);
        EXPECT_FALSE(db.ModifiedFlag);
    }
}

TEST_F(EntryEditingTest, PartialRecordAtTheEndIsNotARecord)
{
    // An image whose entry section ends in a fragment (not one a load keeps,
    // but one that a bad position could otherwise reach past the end).
    Raw bytes = db.image.bytes();
    bytes.resize(bytes.size() + 20, 0xAB);
    db.image.assign(bytes, start);
    const int32_t fragment = recordPos(3);
    db.ModifiedFlag = false;
    EXPECT_FALSE(rewriteEntry(db, fragment, EntryText{"x", "y", "z"}));
    EXPECT_FALSE(deleteEntry(db, fragment));
    EXPECT_FALSE(moveEntry(db, fragment, 2));
    EXPECT_EQ(db.image.bytes(), bytes);
    EXPECT_FALSE(db.ModifiedFlag);
}
