// Rows of the entry list hold record positions; after a save or a compaction
// the Relocation they are carried along with must land each on its own record.
#include "entries/EntryEditing.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace qv;

namespace {

// A database in memory with `n` entries named e0, e1, ... whose owner is
// negative (deleted) where `deleted(i)` says so.
template <class Pred> void fill(Database& db, int n, Pred deleted)
{
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    db.learned.push_back(LearnedInitial::make(0xD9, 0xF1, 'B'));
    for (int i = 0; i < n; ++i) {
        const int32_t pos = appendEntry(db, 1, {"e" + std::to_string(i), "0755", "518000"});
        if (deleted(i))
            deleteEntry(db, pos);
    }
}

std::map<int32_t, std::string> namesByPosition(const Database& db)
{
    std::map<int32_t, std::string> out;
    db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) { out[pos] = EntryRecord::decode(rec).name; });
    return out;
}

// Every old position maps onto the record that was there, or to -1 exactly
// when that record is gone.
void expectFollows(const Relocation& r, const std::map<int32_t, std::string>& before, const Database& after,
                   int expectedGone)
{
    int gone = 0;
    for (const auto& [oldPos, name] : before) {
        const int32_t pos = r.map(oldPos);
        if (pos < 0) {
            ++gone;
            continue;
        }
        ASSERT_TRUE(after.image.isEntryPosition(pos)) << oldPos << " -> " << pos;
        EXPECT_EQ(after.image.readEntry(pos).name, name) << oldPos << " -> " << pos;
    }
    EXPECT_EQ(gone, expectedGone);
}

}  // namespace

TEST(Relocation, CompactionKeepsOrderAndMapsEveryKeptRecord)
{
    struct Case {
        const char* what;
        int n;
        bool (*deleted)(int);
        int gone;
    };
    const Case cases[] = {
        {"none deleted", 10, [](int) { return false; }, 0},
        {"all deleted", 10, [](int) { return true; }, 10},
        {"every third", 30, [](int i) { return i % 3 == 0; }, 10},
        {"runs at both ends", 12, [](int i) { return i < 3 || i > 8; }, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        fill(db, c.n, c.deleted);
        db.ModifiedFlag = false;
        const int32_t start = db.image.entrySectionStart();
        const auto before = namesByPosition(db);
        const Relocation r = compactEntries(db);
        EXPECT_EQ(db.image.entrySectionStart(), start);
        EXPECT_EQ(db.image.entryCount(), c.n - c.gone);
        EXPECT_FALSE(db.ModifiedFlag);  // compaction alone does not ask for a save
        EXPECT_EQ(r.isIdentity(), c.gone == 0);
        expectFollows(r, before, db, c.gone);
        // The kept records stay in their order.
        std::string last;
        int kept = 0;
        db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
            EXPECT_GE(entryOwner(rec), 0);
            const int idx = std::stoi(EntryRecord::decode(rec).name.substr(1));
            EXPECT_GT(idx, last.empty() ? -1 : std::stoi(last));
            last = std::to_string(idx);
            ++kept;
        });
        EXPECT_EQ(kept, c.n - c.gone);
    }
}

TEST(Relocation, SaveThenCompactionThenSave)
{
    QTemporaryDir dir;
    Database db;
    db.setPath(dir.filePath("kvrn.dat"));
    fill(db, 40, [](int i) { return i % 4 == 1; });
    auto before = namesByPosition(db);

    // The front is built for the first time: everything moves up.
    SaveReport saved = db.save();
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(db.image.entrySectionStart(), 36 * 2 + 4 + 5);
    expectFollows(saved.relocation, before, db, 0);

    before = namesByPosition(db);
    const Relocation compacted = compactEntries(db);
    expectFollows(compacted, before, db, 10);

    // A position carried through both lands on the same record.
    const auto beforeBoth = before;
    createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
    saved = db.save();
    ASSERT_TRUE(saved.ok);
    int followed = 0;
    for (const auto& [oldPos, name] : beforeBoth) {
        const int32_t mid = compacted.map(oldPos);
        if (mid < 0)
            continue;
        const int32_t now = saved.relocation.map(mid);
        ASSERT_TRUE(db.image.isEntryPosition(now));
        EXPECT_EQ(db.image.readEntry(now).name, name);
        ++followed;
    }
    EXPECT_EQ(followed, 30);

    // What was saved is what the next run sees.
    Database again;
    ASSERT_TRUE(again.load(dir.filePath("kvrn.dat")).ok());
    EXPECT_EQ(namesByPosition(again), namesByPosition(db));
}
