#include "entries/EntryEditing.h"

#include <algorithm>
#include <climits>

namespace qv {

int32_t appendEntry(Database& db, int32_t owner, const EntryText& text)
{
    if (db.image.size() > INT32_MAX - kEntryRecordSize)
        return -1;
    EntryRecord r;
    r.name = text.name;
    r.owner = owner;
    r.postcode = text.postcode;
    r.areaCode = text.areaCode;
    int32_t pos = db.image.appendEntry(r);
    db.ModifiedFlag = true;
    return pos;
}

bool rewriteEntry(Database& db, int32_t pos, const EntryText& text)
{
    if (!db.image.isEntryPosition(pos))
        return false;
    uint8_t* rec = db.image.entryAt(pos);
    writeField(rec + entry_field::kNameLen, kNameCapacity, text.name);
    writeField(rec + entry_field::kPostLen, kPostcodeCapacity, text.postcode);
    writeField(rec + entry_field::kAreaLen, kAreaCodeCapacity, text.areaCode);
    db.ModifiedFlag = true;
    db.notifyRewritten(pos);
    return true;
}

namespace {

bool markDeleted(Database& db, int32_t pos)
{
    if (!db.image.isEntryPosition(pos))
        return false;
    uint8_t* rec = db.image.entryAt(pos);
    // Only a live owner is negated: a row can outlive the deletion of its
    // record (its directory deleted while search results were shown), and
    // negating again would bring the entry back instead of deleting it.
    const int32_t owner = entryOwner(rec);
    if (owner > 0)
        writeLe32(rec + entry_field::kOwner, -owner);
    db.ModifiedFlag = true;
    return true;
}

bool setOwner(Database& db, int32_t pos, int32_t owner)
{
    if (!db.image.isEntryPosition(pos))
        return false;
    writeLe32(db.image.entryAt(pos) + entry_field::kOwner, owner);
    db.ModifiedFlag = true;
    return true;
}

// Applies `change` to each record and tells the rows about those it reached.
template <class F> void changeAll(Database& db, const std::vector<int32_t>& positions, F&& change)
{
    std::vector<int32_t> done;
    done.reserve(positions.size());
    for (int32_t pos : positions)
        if (change(pos))
            done.push_back(pos);
    std::sort(done.begin(), done.end());
    db.notifyGone(done);
}

}  // namespace

bool deleteEntry(Database& db, int32_t pos)
{
    if (!markDeleted(db, pos))
        return false;
    db.notifyGone({pos});
    return true;
}

void deleteEntries(Database& db, const std::vector<int32_t>& positions)
{
    changeAll(db, positions, [&](int32_t pos) { return markDeleted(db, pos); });
}

bool moveEntry(Database& db, int32_t pos, int32_t owner)
{
    if (!setOwner(db, pos, owner))
        return false;
    db.notifyGone({pos});
    return true;
}

void moveEntries(Database& db, const std::vector<int32_t>& positions, int32_t owner)
{
    db.ModifiedFlag = true;
    changeAll(db, positions, [&](int32_t pos) { return setOwner(db, pos, owner); });
}

}  // namespace qv
