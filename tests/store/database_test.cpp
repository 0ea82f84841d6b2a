#include "store/Database.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

struct TempDb {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("kvrn.dat"); }
};

}  // namespace

TEST(DatabaseLayout, EmptyDatabaseIsFortyBytes)
{
    TempDb t;
    Database db;
    EXPECT_EQ(db.load(t.path()).status, FileReadResult::Missing);
    ASSERT_TRUE(db.save().ok);
    Database again;
    ASSERT_TRUE(again.load(t.path()).ok());
    EXPECT_EQ(again.image.size(), 40);
    EXPECT_EQ(again.image.entrySectionStart(), 40);
    EXPECT_TRUE(again.tree.isEmpty());
}

TEST(DatabaseLayout, LevelsBuildTheTreeAndRoundTrip)
{
    TempDb t;
    ImageBuilder b;
    b.dir(gbk("根"), 0, 1).dir(gbk("子"), 1, 2).dir(gbk("孙"), 2, 3).dir(gbk("次子"), 1, 4).end(4).learnedCount(0);
    b.entry(gbk("北京"), 2, "100000", "010");
    ASSERT_TRUE(qvtest::writeFile(t.path(), qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(t.path()).ok());
    const DirectoryNode* root = db.tree.root()->children.at(0).get();
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[1]->caption, gbk("次子"));
    EXPECT_EQ(root->children[0]->children.at(0)->id, 3);
    EXPECT_EQ(db.image.readEntry(db.image.entrySectionStart()).name, gbk("北京"));
}
