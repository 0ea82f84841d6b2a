// A database file of any bytes through the real load path, then listing,
// search, save and reload, compaction and recovery on what loaded.
#include "FuzzChecks.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = qvfuzz::scratch().filePath(QStringLiteral("input.dat"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    qv::Database db;
    const qv::LoadReport report = db.load(path);
    QV_FUZZ_CHECK(report.ok() == report.message.isEmpty());
    if (report.status != qv::FileReadResult::Ok && report.status != qv::FileReadResult::Excess) {
        // Nothing of a refused file is taken.
        QV_FUZZ_CHECK(db.tree.isEmpty() && db.image.size() == 0 && db.learned.empty());
        return 0;
    }
    qvfuzz::checkListingAndSearch(db, qvfuzz::someName(db));
    qv::Database reloaded;
    qvfuzz::saveAndReload(db, reloaded);
    qvfuzz::checkMaintenance(reloaded, true);
    return 0;
}
