#include "store/Maintenance.h"

#include <climits>
#include <unordered_set>

namespace qv {

std::string recoveryDirectoryCaption() { return "\xBB\xD6\xB8\xB4\xC4\xBF\xC2\xBC"; }  // 恢复目录

Relocation compactEntries(Database& db)
{
    DatabaseImage& image = db.image;
    std::vector<uint8_t>& bytes = image.bytes();
    std::vector<int32_t> removed;
    // Slide the kept records down over the removed ones, in one pass and in place.
    size_t write = size_t(image.entrySectionStart());
    image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (entryOwner(rec) < 0) {
            removed.push_back(pos);
            return;
        }
        if (size_t(pos) != write)
            std::copy(rec, rec + kEntryRecordSize, bytes.begin() + write);
        write += kEntryRecordSize;
    });
    bytes.resize(write);
    bytes.shrink_to_fit();
    Relocation relocation = Relocation::compaction(std::move(removed));
    relocation.setTarget(image.ref());
    db.notifyRelocated(relocation);
    return relocation;
}

RecoveryResult recoverEntries(Database& db)
{
    RecoveryResult result;
    std::unordered_set<int32_t> ids;
    db.tree.forEach([&](const DirectoryNode* n, int) { ids.insert(n->id); });
    int32_t last = 0;
    db.image.forEachEntryMutable([&](int32_t, uint8_t* rec) {
        const int32_t owner = entryOwner(rec);
        if (owner >= 0 || owner == INT32_MIN)  // INT32_MIN has no positive counterpart
            return;
        ++result.count;
        const int32_t id = -owner;
        if (owner != last) {
            last = owner;
            if (ids.insert(id).second) {
                result.newRoots.push_back(db.tree.insert(db.tree.root(), -1, recoveryDirectoryCaption(), id));
                // An id above the counter (a hand-made file) must never be handed out again.
                if (id > db.tree.NextDirectoryId())
                    db.tree.setNextDirectoryId(id);
            }
        }
        writeLe32(rec + entry_field::kOwner, id);
    });
    if (result.count > 0)
        db.ModifiedFlag = true;
    return result;
}

}  // namespace qv
