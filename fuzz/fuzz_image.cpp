// An image of any bytes, as if inflated from a file (random bytes rarely
// survive zlib's checksum), then the same checks as for a file.
#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qv::Database db;
    db.loadImage(std::vector<uint8_t>(data, data + size));
    QV_FUZZ_CHECK(db.image.entrySectionStart() <= db.image.size());
    QV_FUZZ_CHECK((db.image.size() - db.image.entrySectionStart()) % qv::kEntryRecordSize == 0);
    int deepest = -1;
    db.tree.forEach([&](const qv::DirectoryNode*, int depth) { deepest = std::max(deepest, depth); });
    QV_FUZZ_CHECK(deepest < qv::Database::kMaxLoadDepth);
    qvfuzz::checkListingAndSearch(db, qvfuzz::someName(db));
    qv::Database reloaded;
    qvfuzz::rebuildAndReload(db, reloaded);
    qvfuzz::checkMaintenance(reloaded, false);
    return 0;
}
