#pragma once
// What must hold for any database that loaded, whatever its bytes: listing,
// search, save and reload, compaction and recovery agree with one another
// and with a plain reading of the records. A broken promise aborts, so that
// libFuzzer keeps the input.
#include "lookup/EntryRows.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/Maintenance.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#define QV_FUZZ_CHECK(cond)                                                               \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond);      \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace qvfuzz {

using Shape = std::vector<std::tuple<int, std::string, int32_t>>;

inline Shape shape(const qv::DirectoryTree& tree)
{
    Shape out;
    tree.forEach([&](const qv::DirectoryNode* n, int depth) { out.emplace_back(depth, n->caption, n->id); });
    return out;
}

inline std::vector<uint8_t> entrySection(const qv::Database& db)
{
    const auto& b = db.image.bytes();
    return {b.begin() + db.image.entrySectionStart(), b.end()};
}

inline std::vector<uint8_t> learnedBytes(const qv::Database& db)
{
    std::vector<uint8_t> out;
    for (const qv::LearnedInitial& li : db.learned)
        out.insert(out.end(), li.raw, li.raw + qv::kLearnedInitialSize);
    return out;
}

// Everything a save must keep.
struct Snapshot {
    Shape tree;
    int32_t nextId = 0;
    std::vector<uint8_t> learned, entries;
    bool operator==(const Snapshot& o) const
    {
        return tree == o.tree && nextId == o.nextId && learned == o.learned && entries == o.entries;
    }
};

inline Snapshot snapshot(const qv::Database& db)
{
    return {shape(db.tree), db.tree.NextDirectoryId(), learnedBytes(db), entrySection(db)};
}

// A scratch folder for the whole run, on tmpfs when TMPDIR says so.
inline const QTemporaryDir& scratch()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/qv-fuzz-XXXXXX"));
    return dir;
}

// Saves `db` to a fresh file in the scratch folder and loads it into `into`.
inline void saveAndReload(qv::Database& db, qv::Database& into)
{
    const QString path = scratch().filePath(QStringLiteral("kvrn.dat"));
    QFile::remove(path);
    db.setPath(path);
    const Snapshot before = snapshot(db);
    const qv::SaveReport saved = db.save();
    QV_FUZZ_CHECK(saved.ok);
    QV_FUZZ_CHECK(!db.ModifiedFlag);
    QV_FUZZ_CHECK(snapshot(db) == before);
    const qv::LoadReport loaded = into.load(path);
    QV_FUZZ_CHECK(loaded.ok());
    QV_FUZZ_CHECK(snapshot(into) == before);
}

// The same without the file: the image a save would write, loaded again.
inline void rebuildAndReload(const qv::Database& db, qv::Database& into)
{
    int32_t start = 0;
    std::vector<uint8_t> built = db.buildImage(&start);
    into.loadImage(std::move(built));
    QV_FUZZ_CHECK(into.image.entrySectionStart() == start);
    QV_FUZZ_CHECK(snapshot(into) == snapshot(db));
}

inline void checkRowTexts(const qv::Database& db, const qv::EntryRowSet& set)
{
    for (const qv::EntryRow& row : set.rows) {
        QV_FUZZ_CHECK(db.image.isEntryPosition(row.position));
        const qv::EntryRecord rec = db.image.readEntry(row.position);
        QV_FUZZ_CHECK(row.nameText() == rec.name && row.areaText() == rec.areaCode && row.postText() == rec.postcode);
    }
}

// Listing every directory and searching every live place.
inline void checkListingAndSearch(const qv::Database& db, std::string_view query)
{
    std::map<int32_t, size_t> perOwner;
    size_t live = 0, nameMatches = 0, exactMatches = 0;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = qv::entryOwner(rec);
        ++perOwner[owner];
        if (owner < 0)
            return;
        ++live;
        const std::string_view name = qv::readField(rec + qv::entry_field::kNameLen, qv::kNameCapacity);
        nameMatches += qv::nameContainsAtBoundary(name, query);
        exactMatches += name == query;
    });
    db.tree.forEach([&](const qv::DirectoryNode* n, int) {
        const qv::EntryRowSet set = qv::listDirectory(db.image, n->id, n->caption);
        QV_FUZZ_CHECK(set.rows.size() == perOwner[n->id]);
        checkRowTexts(db, set);
    });

    qv::QueryOptions all;
    qv::EntryRowSet found = qv::searchEntries(db, "", all);
    QV_FUZZ_CHECK(found.rows.size() == live);
    checkRowTexts(db, found);
    for (int column = 0; column < 4; ++column) {
        qv::EntryRowSet sorted = found;
        const std::vector<int> order = qv::sortEntryRows(sorted, column, column % 2 ? 1 : -1);
        for (size_t i = 1; i < sorted.rows.size(); ++i) {
            const int c = qv::compareEntryText(sorted.cellText(sorted.rows[i - 1], column),
                                               sorted.cellText(sorted.rows[i], column));
            QV_FUZZ_CHECK(column % 2 ? c <= 0 : c >= 0);
            QV_FUZZ_CHECK(c != 0 || order[i - 1] < order[i]);
        }
    }

    qv::QueryOptions byName;
    byName.byInitials = byName.byPostcode = byName.byAreaCode = false;
    found = qv::searchEntries(db, query, byName);
    QV_FUZZ_CHECK(found.rows.size() == nameMatches);
    byName.exact = true;
    byName.fuzzy = false;
    found = qv::searchEntries(db, query, byName);
    QV_FUZZ_CHECK(found.rows.size() == exactMatches);
}

// Compaction keeps exactly the live records, in order; recovery brings back
// every deleted one into a directory of the tree; both survive a save.
inline void checkMaintenance(const qv::Database& loaded, bool throughFile)
{
    auto reload = [&](qv::Database& db, qv::Database& into) {
        if (throughFile)
            saveAndReload(db, into);
        else
            rebuildAndReload(db, into);
    };

    qv::Database compacted, recovered;
    rebuildAndReload(loaded, compacted);
    rebuildAndReload(loaded, recovered);

    std::vector<uint8_t> kept;
    int deleted = 0;
    compacted.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = qv::entryOwner(rec);
        if (owner >= 0)
            kept.insert(kept.end(), rec, rec + qv::kEntryRecordSize);
        else if (owner != INT32_MIN)
            ++deleted;
    });
    const Shape tree = shape(compacted.tree);
    qv::compactEntries(compacted);
    QV_FUZZ_CHECK(entrySection(compacted) == kept);
    QV_FUZZ_CHECK(shape(compacted.tree) == tree);
    qv::Database again;
    reload(compacted, again);

    std::vector<int32_t> owners;
    recovered.image.forEachEntry([&](int32_t, const uint8_t* rec) { owners.push_back(qv::entryOwner(rec)); });
    const qv::RecoveryResult r = qv::recoverEntries(recovered);
    QV_FUZZ_CHECK(r.count == deleted);
    std::set<int32_t> ids;
    recovered.tree.forEach([&](const qv::DirectoryNode* n, int) { ids.insert(n->id); });
    for (const qv::DirectoryNode* root : r.newRoots)
        QV_FUZZ_CHECK(root->id > 0 && root->id <= recovered.tree.NextDirectoryId());
    // Every deleted place is back, in the directory of its old id.
    size_t k = 0;
    recovered.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = qv::entryOwner(rec), was = owners[k++];
        QV_FUZZ_CHECK(owner == (was < 0 && was != INT32_MIN ? -was : was));
        QV_FUZZ_CHECK(was >= 0 || was == INT32_MIN || ids.count(owner));
    });
    qv::Database after;
    reload(recovered, after);
    QV_FUZZ_CHECK(qv::recoverEntries(after).count == 0);
}

// The query for the name searches: the name of a live place when there is
// one (so that something is found), otherwise a fixed text.
inline std::string someName(const qv::Database& db)
{
    std::string name = "\xB1\xB1";  // 北
    bool found = false;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (!found && qv::entryOwner(rec) >= 0) {
            name = std::string(qv::readField(rec + qv::entry_field::kNameLen, qv::kNameCapacity));
            name.resize(name.size() / 2);
            found = true;
        }
    });
    return name;
}

}  // namespace qvfuzz
