#include "entries/EntryEditing.h"

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
    return true;
}

bool deleteEntry(Database& db, int32_t pos)
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

bool moveEntry(Database& db, int32_t pos, int32_t owner)
{
    if (!db.image.isEntryPosition(pos))
        return false;
    writeLe32(db.image.entryAt(pos) + entry_field::kOwner, owner);
    db.ModifiedFlag = true;
    return true;
}

}  // namespace qv
