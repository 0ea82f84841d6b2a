// Writes small seed corpora for the fuzz targets from a database file (the
// bundled kvrn.dat): a cut-down copy of it as file and as image, its text
// exports, and names with queries.
//   qv-fuzz-seeds <kvrn.dat> <seeds folder>
#include "exchange/Export.h"
#include "lookup/EntryRows.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <set>

namespace {

bool put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray asBytes(const std::vector<uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())); }

// The file for an image, written and read back through the program's writer.
QByteArray fileOf(const std::vector<uint8_t>& image, const QString& scratch)
{
    const qv::WriteResult w = qv::writeDatabaseFile(scratch, image, {});
    QFile f(scratch);
    return w.ok && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv-fuzz-seeds <kvrn.dat> <seeds folder>\n");
        return 2;
    }
    qv::Database full;
    if (!full.load(QString::fromLocal8Bit(argv[1])).ok()) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (const char* target : {"fuzz_database_file", "fuzz_image", "fuzz_import", "fuzz_gbk_search"})
        out.mkpath(QString::fromLatin1(target));
    const QString scratch = out.filePath(QStringLiteral("scratch.dat"));

    // A root with its first three subdirectories, and the last root with
    // its first three: a few directories and at most 120 places, every
    // seventh deleted, and the places of one directory left behind deleted
    // with it.
    std::vector<const qv::DirectoryNode*> kept;
    const auto& roots = full.tree.root()->children;
    std::function<void(const qv::DirectoryNode*)> keep = [&](const qv::DirectoryNode* n) {
        kept.push_back(n);
        for (size_t i = 0; i < n->children.size() && i < 3; ++i)
            keep(n->children[i].get());
    };
    auto nested = std::find_if(roots.begin(), roots.end(), [](const auto& r) { return !r->children.empty(); });
    if (nested == roots.end()) {
        std::fprintf(stderr, "%s has no subdirectories\n", argv[1]);
        return 1;
    }
    keep(nested->get());
    keep(roots.back().get());
    const int32_t vanished = kept.back()->id;
    std::set<int32_t> ids;
    qv::Database cut;
    std::vector<uint8_t> image;
    for (size_t i = 0; i + 1 < kept.size(); ++i) {
        ids.insert(kept[i]->id);
        image.resize(image.size() + qv::kDirectoryRecordSize);
        qv::DirectoryRecord{kept[i]->caption, kept[i]->depth(), kept[i]->id}.encodeInto(image.data() + image.size() - 36);
    }
    image.resize(image.size() + qv::kDirectoryRecordSize);
    qv::DirectoryRecord{"", -1, full.tree.NextDirectoryId()}.encodeInto(image.data() + image.size() - 36);
    const size_t learned = std::min<size_t>(full.learned.size(), 4);
    image.resize(image.size() + 4);
    qv::writeLe32(image.data() + image.size() - 4, int32_t(learned));
    for (size_t i = 0; i < learned; ++i)
        image.insert(image.end(), full.learned[i].raw, full.learned[i].raw + qv::kLearnedInitialSize);
    int places = 0;
    full.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = qv::entryOwner(rec);
        if (places >= 120 || (!ids.count(owner) && owner != vanished))
            return;
        image.insert(image.end(), rec, rec + qv::kEntryRecordSize);
        if (owner == vanished || ++places % 7 == 0)
            qv::writeLe32(image.data() + image.size() - 48 + qv::entry_field::kOwner, -owner);
    });
    cut.loadImage(image);

    std::vector<uint8_t> empty(qv::kEmptyImageSize, 0);
    qv::DirectoryRecord{"", -1, 0}.encodeInto(empty.data());
    bool ok = put(out.filePath("fuzz_image/cut.img"), asBytes(image)) &&
              put(out.filePath("fuzz_image/empty.img"), asBytes(empty)) &&
              put(out.filePath("fuzz_database_file/cut.dat"), fileOf(image, scratch)) &&
              put(out.filePath("fuzz_database_file/empty.dat"), fileOf(empty, scratch));

    // The exports: every record, and the list of one directory.
    QByteArray all, list;
    QBuffer allOut(&all), listOut(&list);
    allOut.open(QIODevice::WriteOnly);
    listOut.open(QIODevice::WriteOnly);
    qv::writeText(qv::ExportSource::allRecords(cut.image), allOut);
    const qv::DirectoryNode* dir = cut.tree.root()->children.front()->children.front().get();  // kept[1]
    const qv::EntryRowSet rows = qv::listDirectory(cut.image, dir->id, dir->caption);
    qv::writeText(qv::ExportSource::currentList(rows), listOut);
    ok = ok && put(out.filePath("fuzz_import/all-records.txt"), all) &&
         put(out.filePath("fuzz_import/one-directory.txt"), list);

    // Names and the queries that find them, as bytes.
    int n = 0;
    cut.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (n >= 8 || qv::entryOwner(rec) < 0)
            return;
        const qv::EntryRecord r = qv::EntryRecord::decode(rec);
        const QByteArray seed = QByteArray::fromStdString(r.name + r.name.substr(0, 2));
        ok = ok && put(out.filePath(QStringLiteral("fuzz_gbk_search/name-%1").arg(n++)), seed);
    });
    QFile::remove(scratch);
    return ok ? 0 : 1;
}
