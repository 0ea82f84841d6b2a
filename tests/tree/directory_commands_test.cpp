#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

// The whole tree in save order, one "depth caption#id" line per directory, so
// that a single comparison covers order, nesting and ids.
std::vector<std::string> outline(const DirectoryTree& tree)
{
    std::vector<std::string> out;
    tree.forEach([&](const DirectoryNode* n, int depth) {
        out.push_back(std::to_string(depth) + " " + n->caption + "#" + std::to_string(n->id));
    });
    return out;
}

std::vector<int32_t> childIds(const DirectoryNode* parent)
{
    std::vector<int32_t> ids;
    for (const auto& c : parent->children)
        ids.push_back(c->id);
    return ids;
}

// A{A1{A1a}, A2, A3}, B, C, each with entries; NextDirectoryId 7.
class DirectoryCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImageBuilder b;
        b.dir("A", 0, 1).dir("A1", 1, 2).dir("A1a", 2, 7).dir("A2", 1, 3).dir("A3", 1, 4);
        b.dir("B", 0, 5).dir("C", 0, 6).end(7).learnedCount(0);
        b.entry("c-live-1", 6, "1", "1");
        b.entry("b-live", 5, "2", "2");
        b.entry("c-gone", -6, "3", "3");
        b.entry("c-live-2", 6, "4", "4");
        b.entry("b-gone", -5, "5", "5");
        b.entry("a1a", 7, "6", "6");
        db.loadImage(b.bytes);
        ASSERT_FALSE(db.ModifiedFlag);
    }

    DirectoryNode* byId(int32_t id)
    {
        DirectoryNode* n = db.tree.findById(id);
        EXPECT_NE(n, nullptr) << "no directory " << id;
        return n;
    }

    // Runs a command that must be refused and checks that it changed nothing.
    template <class F> void expectNoChange(F&& command)
    {
        const auto treeBefore = outline(db.tree);
        const auto bytesBefore = db.image.bytes();
        const int32_t nextBefore = db.tree.NextDirectoryId();
        for (bool modifiedBefore : {false, true}) {
            db.ModifiedFlag = modifiedBefore;
            command();
            EXPECT_EQ(outline(db.tree), treeBefore);
            EXPECT_EQ(db.image.bytes(), bytesBefore);
            EXPECT_EQ(db.tree.NextDirectoryId(), nextBefore);
            EXPECT_EQ(db.ModifiedFlag, modifiedBefore);
        }
    }

    Database db;
};

}  // namespace

// ---- creating ----

TEST_F(DirectoryCommandsTest, NewDirectoryFromMiddleOfLevelAppendsAtEndInOrder)
{
    // Both the anchor kept and the anchor following the new node (as the view
    // selects it) must give the same result.
    for (bool followNew : {false, true}) {
        SetUp();
        DirectoryNode* anchor = byId(3);  // A2, between A1 and A3
        std::vector<int32_t> made;
        for (int i = 0; i < 3; ++i) {
            DirectoryNode* n = createDirectory(db, anchor, NewDirectoryPlace::LastSibling);
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(n->caption, gbk("新目录"));
            EXPECT_EQ(n->icon, kIconLeaf);
            made.push_back(n->id);
            if (followNew)
                anchor = n;
        }
        EXPECT_EQ(made, (std::vector<int32_t>{8, 9, 10}));
        EXPECT_EQ(childIds(byId(1)), (std::vector<int32_t>{2, 3, 4, 8, 9, 10}));
        EXPECT_EQ(childIds(db.tree.root()), (std::vector<int32_t>{1, 5, 6}));
        EXPECT_EQ(db.tree.NextDirectoryId(), 10);
        EXPECT_TRUE(db.ModifiedFlag);
    }
}

TEST_F(DirectoryCommandsTest, NewDirectoryFromRootOrNothingIsLastRoot)
{
    DirectoryNode* fromRoot = createDirectory(db, byId(5), NewDirectoryPlace::LastSibling);
    DirectoryNode* fromNothing = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    ASSERT_TRUE(fromRoot && fromNothing);
    EXPECT_EQ(childIds(db.tree.root()), (std::vector<int32_t>{1, 5, 6, 8, 9}));
}

TEST(DirectoryCommandsFreshStart, FirstDirectoryWithoutFileGetsIdOne)
{
    for (NewDirectoryPlace place : {NewDirectoryPlace::LastSibling, NewDirectoryPlace::Before}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("kvrn.dat");
        Database db;
        ASSERT_EQ(db.load(path).status, FileReadResult::Missing);
        DirectoryNode* n = createDirectory(db, nullptr, place);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->id, 1);
        EXPECT_EQ(n->parent, db.tree.root());
        EXPECT_TRUE(db.ModifiedFlag);

        // The id and the counter survive a save.
        ASSERT_TRUE(db.save().ok);
        Database again;
        ASSERT_TRUE(again.load(path).ok());
        EXPECT_EQ(outline(again.tree), (std::vector<std::string>{"0 " + gbk("新目录") + "#1"}));
        EXPECT_EQ(again.tree.NextDirectoryId(), 1);
    }
}

TEST_F(DirectoryCommandsTest, InsertBeforeFirstChildBecomesFirstChild)
{
    DirectoryNode* n = createDirectory(db, byId(2), NewDirectoryPlace::Before);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->parent, byId(1));
    EXPECT_EQ(childIds(byId(1)), (std::vector<int32_t>{8, 2, 3, 4}));
    // A1 keeps its own subdirectory.
    EXPECT_EQ(childIds(byId(2)), (std::vector<int32_t>{7}));
    EXPECT_TRUE(db.ModifiedFlag);
}

TEST_F(DirectoryCommandsTest, InsertBeforeMiddleNodeAndBeforeRoot)
{
    ASSERT_NE(createDirectory(db, byId(4), NewDirectoryPlace::Before), nullptr);
    ASSERT_NE(createDirectory(db, byId(6), NewDirectoryPlace::Before), nullptr);
    EXPECT_EQ(childIds(byId(1)), (std::vector<int32_t>{2, 3, 8, 4}));
    EXPECT_EQ(childIds(db.tree.root()), (std::vector<int32_t>{1, 5, 9, 6}));
}

TEST_F(DirectoryCommandsTest, InsertWithNothingSelectedIsFirstRoot)
{
    DirectoryNode* n = createDirectory(db, nullptr, NewDirectoryPlace::Before);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(childIds(db.tree.root()), (std::vector<int32_t>{8, 1, 5, 6}));
    EXPECT_TRUE(db.ModifiedFlag);
}

TEST_F(DirectoryCommandsTest, SubdirectoryIsLastChild)
{
    DirectoryNode* n = createDirectory(db, byId(1), NewDirectoryPlace::LastChild);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(childIds(byId(1)), (std::vector<int32_t>{2, 3, 4, 8}));
    DirectoryNode* leafChild = createDirectory(db, byId(5), NewDirectoryPlace::LastChild);
    ASSERT_NE(leafChild, nullptr);
    EXPECT_EQ(childIds(byId(5)), (std::vector<int32_t>{9}));
    EXPECT_TRUE(db.ModifiedFlag);
}

TEST_F(DirectoryCommandsTest, SubdirectoryWithoutAnchorIsRefused)
{
    expectNoChange([&] { EXPECT_EQ(createDirectory(db, nullptr, NewDirectoryPlace::LastChild), nullptr); });
}

TEST_F(DirectoryCommandsTest, NoDirectoryOnceIdsAreUsedUp)
{
    // A file whose counter has reached the top of the id range.
    ImageBuilder b;
    b.dir("A", 0, 1).end(INT32_MAX).learnedCount(0);
    db.loadImage(b.bytes);
    ASSERT_EQ(db.tree.NextDirectoryId(), INT32_MAX);
    for (NewDirectoryPlace place : {NewDirectoryPlace::LastSibling, NewDirectoryPlace::Before, NewDirectoryPlace::LastChild})
        for (DirectoryNode* anchor : {static_cast<DirectoryNode*>(nullptr), byId(1)})
            expectNoChange([&] { EXPECT_EQ(createDirectory(db, anchor, place), nullptr); });
}

// ---- renaming ----

TEST(CheckCaption, CountsBytesNotCharacters)
{
    const std::string twelve = gbk("一二三四五六七八九十百千");
    ASSERT_EQ(twelve.size(), 24u);
    EXPECT_EQ(checkCaption(twelve + "A"), CaptionCheck::Ok);
    EXPECT_EQ(checkCaption(twelve + gbk("万")), CaptionCheck::EmptyOrTooLong);
    EXPECT_EQ(checkCaption(std::string(25, 'x')), CaptionCheck::Ok);
    EXPECT_EQ(checkCaption(std::string(26, 'x')), CaptionCheck::EmptyOrTooLong);
    EXPECT_EQ(checkCaption(""), CaptionCheck::EmptyOrTooLong);
    // Blanks are not trimmed: a blank is a name like any other.
    EXPECT_EQ(checkCaption(" "), CaptionCheck::Ok);
    EXPECT_EQ(checkCaption("a"), CaptionCheck::Ok);
}

// ---- deleting ----

TEST_F(DirectoryCommandsTest, DeletingDirectoryWithSubdirectoriesIsRefused)
{
    for (int32_t id : {1, 2})
        expectNoChange([&] { EXPECT_FALSE(deleteDirectory(db, byId(id))); });
}

TEST_F(DirectoryCommandsTest, DeletingMarksExactlyItsLiveEntries)
{
    std::vector<uint8_t> expected = db.image.bytes();
    const int32_t start = db.image.entrySectionStart();
    // c-live-1 (record 0) and c-live-2 (record 3) are C's live entries.
    for (int record : {0, 3})
        writeLe32(expected.data() + start + record * kEntryRecordSize + entry_field::kOwner, -6);

    ASSERT_TRUE(deleteDirectory(db, byId(6)));
    EXPECT_EQ(db.tree.findById(6), nullptr);
    EXPECT_EQ(childIds(db.tree.root()), (std::vector<int32_t>{1, 5}));
    EXPECT_EQ(db.image.bytes(), expected);
    EXPECT_EQ(db.tree.NextDirectoryId(), 7);  // the id is not handed back
    EXPECT_TRUE(db.ModifiedFlag);
}

TEST_F(DirectoryCommandsTest, DeletingLeafSubdirectoryLeavesParent)
{
    ASSERT_TRUE(deleteDirectory(db, byId(7)));
    EXPECT_TRUE(byId(2)->children.empty());
    EXPECT_EQ(entryOwner(db.image.entryAt(db.image.entrySectionStart() + 5 * kEntryRecordSize)), -7);
    // A1 can go now that it has no subdirectory.
    EXPECT_TRUE(deleteDirectory(db, byId(2)));
    EXPECT_EQ(childIds(byId(1)), (std::vector<int32_t>{3, 4}));
}

TEST_F(DirectoryCommandsTest, DeletingNothingIsRefused)
{
    expectNoChange([&] { EXPECT_FALSE(deleteDirectory(db, nullptr)); });
}

// What the delete question counts: directories below at any depth, live
// entries of the whole branch (deleted ones left out).
TEST_F(DirectoryCommandsTest, BranchSizeCountsDescendantsAndLiveEntries)
{
    // id, directories, entries: A (a1a two levels down), A1, A1a, A2, B and C (each with one deleted).
    const int cases[][3] = {{1, 4, 1}, {2, 1, 1}, {7, 0, 1}, {3, 0, 0}, {5, 0, 1}, {6, 0, 2}};
    for (const auto& c : cases) {
        const BranchSize size = branchSize(db, byId(c[0]));
        EXPECT_EQ(std::pair(size.directories, size.entries), std::pair(size_t(c[1]), size_t(c[2]))) << c[0];
    }
    EXPECT_EQ(branchSize(db, nullptr).directories + branchSize(db, nullptr).entries, 0u);
}

// ---- moving ----

TEST_F(DirectoryCommandsTest, MoveOntoOwnParentDoesNothing)
{
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(3), byId(1))); });
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(7), byId(2))); });
}

TEST_F(DirectoryCommandsTest, MoveOntoItselfOrOwnBranchDoesNothing)
{
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(1), byId(1))); });
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(1), byId(2))); });
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(1), byId(7))); });
    expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(2), byId(7))); });
}

TEST_F(DirectoryCommandsTest, RootBelowLastNodeDoesNothing)
{
    for (int32_t id : {1, 5, 6})
        expectNoChange([&] { EXPECT_FALSE(moveDirectory(db, byId(id), nullptr)); });
}

TEST_F(DirectoryCommandsTest, SubdirectoryBelowLastNodeBecomesLastRootWithBranch)
{
    ASSERT_TRUE(moveDirectory(db, byId(2), nullptr));
    EXPECT_TRUE(db.ModifiedFlag);
    EXPECT_EQ(outline(db.tree), (std::vector<std::string>{"0 A#1", "1 A2#3", "1 A3#4", "0 B#5", "0 C#6", "0 A1#2",
                                                          "1 A1a#7"}));
    EXPECT_EQ(db.tree.NextDirectoryId(), 7);
}

TEST_F(DirectoryCommandsTest, MoveIntoAnotherDirectoryIsLastChildAndExpandsIt)
{
    ASSERT_TRUE(moveDirectory(db, byId(5), byId(2)));  // B under A1, after A1a
    ASSERT_TRUE(moveDirectory(db, byId(4), byId(6)));  // A3 under C
    EXPECT_TRUE(byId(2)->expanded);
    EXPECT_TRUE(byId(6)->expanded);
    EXPECT_EQ(outline(db.tree), (std::vector<std::string>{"0 A#1", "1 A1#2", "2 A1a#7", "2 B#5", "1 A2#3", "0 C#6",
                                                          "1 A3#4"}));
    EXPECT_TRUE(db.ModifiedFlag);
}

TEST_F(DirectoryCommandsTest, MovedTreeIsSavedWithItsNewLevelsAndEntriesStay)
{
    QTemporaryDir dir;
    db.setPath(dir.filePath("kvrn.dat"));
    const std::vector<uint8_t> entriesBefore(db.image.bytes().begin() + db.image.entrySectionStart(),
                                             db.image.bytes().end());
    ASSERT_TRUE(moveDirectory(db, byId(1), byId(6)));  // the whole A branch under C
    ASSERT_TRUE(moveDirectory(db, byId(7), nullptr));  // A1a out to the top level
    const auto moved = outline(db.tree);
    EXPECT_EQ(moved, (std::vector<std::string>{"0 B#5", "0 C#6", "1 A#1", "2 A1#2", "2 A2#3", "2 A3#4", "0 A1a#7"}));
    ASSERT_TRUE(db.save().ok);

    Database again;
    ASSERT_TRUE(again.load(db.path()).ok());
    EXPECT_EQ(outline(again.tree), moved);
    const std::vector<uint8_t> entriesAfter(again.image.bytes().begin() + again.image.entrySectionStart(),
                                            again.image.bytes().end());
    EXPECT_EQ(entriesAfter, entriesBefore);  // entries follow their ids, untouched
}
