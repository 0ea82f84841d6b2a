#include "store/Maintenance.h"
#include "entries/EntryEditing.h"
#include "lookup/EntryRows.h"
#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

using Raw = std::vector<uint8_t>;

class MaintenanceTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("kvrn.dat"); }

    // Writes the image as a file and loads it, so that saves go to the temporary folder.
    void loadFile(const ImageBuilder& b)
    {
        ASSERT_TRUE(qvtest::writeFile(path(), qvtest::makeFile(b.bytes)));
        ASSERT_TRUE(db.load(path()).ok());
    }
    static std::vector<Raw> records(const Database& d)
    {
        std::vector<Raw> out;
        d.image.forEachEntry([&](int32_t, const uint8_t* rec) { out.emplace_back(rec, rec + kEntryRecordSize); });
        return out;
    }
    static std::vector<int32_t> owners(const Database& d)
    {
        std::vector<int32_t> out;
        d.image.forEachEntry([&](int32_t, const uint8_t* rec) { out.push_back(entryOwner(rec)); });
        return out;
    }
    static std::vector<std::string> listedNames(const Database& d, int32_t id)
    {
        std::vector<std::string> out;
        const EntryRowSet set = listDirectory(d.image, id, std::string());
        for (const EntryRow& row : set.rows)
            out.emplace_back(row.nameText());
        return out;
    }
    static std::vector<const DirectoryNode*> roots(const Database& d)
    {
        std::vector<const DirectoryNode*> out;
        for (const auto& c : d.tree.root()->children)
            out.push_back(c.get());
        return out;
    }

    QTemporaryDir dir;
    Database db;
};

// Two directories; live and deleted entries mixed, with owner 0 counted live.
ImageBuilder mixedImage()
{
    ImageBuilder b;
    b.dir("P", 0, 1).dir("Q", 0, 2).end(2).learnedCount(0);
    b.entry("e0", 1, "0", "0");
    b.entry("e1", -1, "1", "1");
    b.entry("e2", 2, "2", "2");
    b.entry("e3", -2, "3", "3");
    b.entry("e4", -1, "4", "4");
    b.entry("e5", 0, "5", "5");
    b.entry("e6", 1, "6", "6");
    return b;
}

}  // namespace

// ---- compaction ----

TEST_F(MaintenanceTest, CompactionWithoutDeletedEntriesChangesNothing)
{
    ImageBuilder b;
    b.dir("P", 0, 1).end(1).learnedCount(0).entry("a", 1, "1", "1").entry("b", 0, "2", "2").entry("c", 1, "3", "3");
    loadFile(b);
    const Raw before = db.image.bytes();
    for (bool modified : {false, true}) {
        db.ModifiedFlag = modified;
        const Relocation moved = compactEntries(db);
        EXPECT_TRUE(moved.isIdentity());
        EXPECT_EQ(db.image.bytes(), before);
        EXPECT_EQ(db.ModifiedFlag, modified);
    }
}

TEST_F(MaintenanceTest, CompactionRemovesDeletedRecordsInOrderAndReportsMoves)
{
    loadFile(mixedImage());
    const int32_t start = db.image.entrySectionStart();
    const Raw front(db.image.bytes().begin(), db.image.bytes().begin() + start);
    const std::vector<Raw> old = records(db);

    const Relocation moved = compactEntries(db);
    EXPECT_FALSE(db.ModifiedFlag);  // compaction alone does not count as an edit
    EXPECT_EQ(db.image.entrySectionStart(), start);
    EXPECT_TRUE(std::equal(front.begin(), front.end(), db.image.bytes().begin()));
    EXPECT_EQ(owners(db), (std::vector<int32_t>{1, 2, 0, 1}));

    const std::vector<Raw> kept = records(db);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept, (std::vector<Raw>{old[0], old[2], old[5], old[6]}));
    for (size_t i = 0; i < old.size(); ++i) {
        SCOPED_TRACE(i);
        const int32_t oldPos = start + int32_t(i) * kEntryRecordSize;
        const int32_t newPos = moved.map(oldPos);
        if (entryOwner(old[i].data()) < 0) {
            EXPECT_EQ(newPos, -1);
            continue;
        }
        ASSERT_TRUE(db.image.isEntryPosition(newPos));
        EXPECT_EQ(Raw(db.image.entryAt(newPos), db.image.entryAt(newPos) + kEntryRecordSize), old[i]);
    }
}

TEST_F(MaintenanceTest, CompactionReachesTheFileOnlyWithTheNextSave)
{
    loadFile(mixedImage());
    compactEntries(db);

    // The file still holds the deleted entries, and they can be recovered from it.
    Database fromFile;
    ASSERT_TRUE(fromFile.load(path()).ok());
    EXPECT_EQ(fromFile.image.entryCount(), 7);
    EXPECT_EQ(recoverEntries(fromFile).count, 3);

    ASSERT_TRUE(db.save().ok);
    Database saved;
    ASSERT_TRUE(saved.load(path()).ok());
    EXPECT_EQ(owners(saved), (std::vector<int32_t>{1, 2, 0, 1}));
    EXPECT_EQ(recoverEntries(saved).count, 0);
}

TEST_F(MaintenanceTest, CompactionDropsEveryRecordWhenAllAreDeleted)
{
    ImageBuilder b;
    b.dir("P", 0, 1).end(1).learnedCount(0).entry("a", -1, "", "").entry("b", INT32_MIN, "", "");
    loadFile(b);
    const int32_t start = db.image.entrySectionStart();
    const Relocation moved = compactEntries(db);
    EXPECT_EQ(db.image.size(), start);
    EXPECT_EQ(moved.map(start), -1);
    EXPECT_EQ(moved.map(start + kEntryRecordSize), -1);
}

// ---- recovery ----

TEST_F(MaintenanceTest, DeletedDirectoryComesBackAsOneRecoveryRoot)
{
    ImageBuilder b;
    b.dir("P", 0, 1).dir("Q", 0, 2).dir("R", 0, 3).end(5).learnedCount(0);
    b.entry("q1", 2, "", "").entry("p1", 1, "", "").entry("q2", 2, "", "").entry("q3", -2, "", "");
    loadFile(b);
    ASSERT_TRUE(deleteDirectory(db, db.tree.findById(2)));
    ASSERT_TRUE(db.save().ok);
    ASSERT_FALSE(db.ModifiedFlag);

    const RecoveryResult result = recoverEntries(db);
    EXPECT_EQ(result.count, 3);
    ASSERT_EQ(result.newRoots.size(), 1u);
    const DirectoryNode* rec = result.newRoots[0];
    EXPECT_EQ(rec->caption, gbk("恢复目录"));
    EXPECT_EQ(rec->id, 2);
    EXPECT_EQ(rec->icon, kIconLeaf);
    EXPECT_TRUE(rec->children.empty());
    const auto top = roots(db);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top.back(), rec);  // the last root, after P and R
    EXPECT_EQ(listedNames(db, 2), (std::vector<std::string>{"q1", "q2", "q3"}));
    EXPECT_EQ(listedNames(db, 1), (std::vector<std::string>{"p1"}));
    EXPECT_EQ(db.tree.NextDirectoryId(), 5);  // the old id is below the counter: the counter stays
    EXPECT_TRUE(db.ModifiedFlag);

    // Once saved it is an ordinary directory.
    ASSERT_TRUE(db.save().ok);
    Database again;
    ASSERT_TRUE(again.load(path()).ok());
    const DirectoryNode* loaded = again.tree.findById(2);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->caption, gbk("恢复目录"));
    EXPECT_EQ(listedNames(again, 2), (std::vector<std::string>{"q1", "q2", "q3"}));
    EXPECT_EQ(recoverEntries(again).count, 0);
}

TEST_F(MaintenanceTest, EntriesDeletedOneByOneReturnToTheirDirectory)
{
    loadFile(mixedImage());
    const int32_t start = db.image.entrySectionStart();
    ASSERT_TRUE(deleteEntry(db, start));                          // e0 of P
    ASSERT_TRUE(deleteEntry(db, start + 6 * kEntryRecordSize));   // e6 of P
    ASSERT_TRUE(deleteEntry(db, start + 2 * kEntryRecordSize));   // e2 of Q
    const std::vector<Raw> before = records(db);

    const RecoveryResult result = recoverEntries(db);
    EXPECT_EQ(result.count, 6);
    EXPECT_TRUE(result.newRoots.empty());
    EXPECT_EQ(db.tree.count(), 2);
    EXPECT_EQ(owners(db), (std::vector<int32_t>{1, 1, 2, 2, 1, 0, 1}));
    // Only the owners changed.
    const std::vector<Raw> after = records(db);
    for (size_t i = 0; i < before.size(); ++i) {
        Raw expected = before[i];
        writeLe32(expected.data() + entry_field::kOwner, entryOwner(after[i].data()));
        EXPECT_EQ(after[i], expected) << "record " << i;
    }
}

TEST_F(MaintenanceTest, TwoVanishedDirectoriesInterleavedGiveTwoRoots)
{
    ImageBuilder b;
    b.dir("P", 0, 1).dir("S", 1, 4).end(9).learnedCount(0);
    b.entry("x1", -7, "", "").entry("y1", -9, "", "").entry("x2", -7, "", "").entry("x3", -7, "", "");
    b.entry("p", 1, "", "").entry("y2", -9, "", "").entry("s", -4, "", "");
    loadFile(b);

    const RecoveryResult result = recoverEntries(db);
    EXPECT_EQ(result.count, 6);
    ASSERT_EQ(result.newRoots.size(), 2u);
    EXPECT_EQ(result.newRoots[0]->id, 7);
    EXPECT_EQ(result.newRoots[1]->id, 9);
    const auto top = roots(db);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[1], result.newRoots[0]);
    EXPECT_EQ(top[2], result.newRoots[1]);
    for (const DirectoryNode* n : result.newRoots)
        EXPECT_EQ(n->caption, gbk("恢复目录"));
    EXPECT_EQ(listedNames(db, 7), (std::vector<std::string>{"x1", "x2", "x3"}));
    EXPECT_EQ(listedNames(db, 9), (std::vector<std::string>{"y1", "y2"}));
    // The subdirectory still exists (below the top level): its entry goes home.
    EXPECT_EQ(listedNames(db, 4), (std::vector<std::string>{"s"}));
    EXPECT_EQ(db.tree.count(), 4);
}

TEST_F(MaintenanceTest, RecoveredIdAboveCounterIsNeverHandedOutAgain)
{
    // A hand-made file: an entry deleted from directory 50, counter at 3.
    ImageBuilder b;
    b.dir("P", 0, 1).end(3).learnedCount(0).entry("lost", -50, "", "");
    loadFile(b);
    ASSERT_EQ(db.tree.NextDirectoryId(), 3);

    const RecoveryResult result = recoverEntries(db);
    ASSERT_EQ(result.newRoots.size(), 1u);
    EXPECT_EQ(result.newRoots[0]->id, 50);
    EXPECT_GE(db.tree.NextDirectoryId(), 50);
    DirectoryNode* made = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_NE(made, nullptr);
    EXPECT_GT(made->id, 50);

    // The same holds after a save and a fresh start.
    ASSERT_TRUE(db.save().ok);
    Database again;
    ASSERT_TRUE(again.load(path()).ok());
    DirectoryNode* later = createDirectory(again, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_NE(later, nullptr);
    EXPECT_GT(later->id, made->id);
    EXPECT_EQ(again.tree.findById(50)->caption, gbk("恢复目录"));
}

TEST_F(MaintenanceTest, OwnerWithoutPositiveCounterpartIsLeftAlone)
{
    ImageBuilder b;
    b.dir("P", 0, 1).end(1).learnedCount(0).entry("odd", INT32_MIN, "", "").entry("p", 1, "", "");
    loadFile(b);
    const Raw before = db.image.bytes();
    const RecoveryResult result = recoverEntries(db);
    EXPECT_EQ(result.count, 0);
    EXPECT_TRUE(result.newRoots.empty());
    EXPECT_EQ(db.image.bytes(), before);
    EXPECT_EQ(db.tree.count(), 1);
    EXPECT_FALSE(db.ModifiedFlag);
}

TEST_F(MaintenanceTest, RecoveryAfterCompactionFindsNothing)
{
    loadFile(mixedImage());
    compactEntries(db);
    const Raw before = db.image.bytes();
    const RecoveryResult result = recoverEntries(db);
    EXPECT_EQ(result.count, 0);
    EXPECT_TRUE(result.newRoots.empty());
    EXPECT_EQ(db.image.bytes(), before);
    EXPECT_EQ(db.tree.count(), 2);
    EXPECT_FALSE(db.ModifiedFlag);
}
