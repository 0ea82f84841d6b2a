#include "store/Database.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace qv {

namespace {

QString unusedName(const QString& base)
{
    if (!QFile::exists(base))
        return base;
    for (int i = 2;; ++i) {
        QString name = base + QLatin1Char('.') + QString::number(i);
        if (!QFile::exists(name))
            return name;
    }
}

}  // namespace

void Database::removeObserver(EntryObserver* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void Database::notifyRewritten(EntryPosition pos)
{
    for (EntryObserver* o : m_observers)
        o->entryRewritten(pos);
}

void Database::notifyGone(const std::vector<EntryPosition>& positions)
{
    if (positions.empty())
        return;
    for (EntryObserver* o : m_observers)
        o->entriesGone(positions);
}

void Database::notifyRelocated(const Relocation& relocation)
{
    if (relocation.isIdentity())
        return;
    for (EntryObserver* o : m_observers)
        o->entriesRelocated(relocation);
}

void Database::reset()
{
    image.clear();
    tree.clear();
    learned.clear();
    ModifiedFlag = false;
}

LoadReport Database::load(const QString& path)
{
    reset();
    m_path = path;
    m_preserveAs.clear();
    FileReadResult read = readDatabaseFile(path);
    LoadReport report;
    report.status = read.status;
    const QString name = QFileInfo(path).fileName();
    switch (read.status) {
    case FileReadResult::Ok:
        loadImage(std::move(read.image));
        break;
    case FileReadResult::Missing:
        report.message = QStringLiteral("%1。程序以空数据库启动，第一次保存时将新建“%2”。").arg(read.detail, name);
        break;
    case FileReadResult::Unreadable:
    case FileReadResult::Damaged: {
        m_preserveAs = unusedName(path + QStringLiteral(".damaged"));
        const QString what = read.status == FileReadResult::Damaged
                                 ? QStringLiteral("数据库文件“%1”已损坏：%2").arg(name, read.detail)
                                 : read.detail;
        report.message = QStringLiteral("%1。程序以空数据库启动。原文件不会被覆盖：第一次保存时它将被改名为“%2”保留。")
                             .arg(what, QFileInfo(m_preserveAs).fileName());
        break;
    }
    }
    return report;
}

void Database::loadImage(std::vector<uint8_t> bytes)
{
    tree.clear();
    learned.clear();
    const size_t n = bytes.size();
    const uint8_t* data = bytes.data();
    size_t pos = 0;
    bool sawEnd = false;
    int32_t nextId = 0;
    int32_t highestId = 0;

    DirectoryNode* prev = nullptr;
    int prevDepth = -1;
    while (pos + kDirectoryRecordSize <= n) {
        const DirectoryRecord rec = DirectoryRecord::decode(data + pos);
        pos += kDirectoryRecordSize;
        const int32_t level = rec.level;
        const DirectoryId id = rec.id;
        if (rec.isEndMarker()) {
            nextId = id;
            sawEnd = true;
            break;
        }
        DirectoryNode* parent = tree.root();
        int depth = 0;
        if (level > 0 && prev) {
            // Climb from the previous directory until its depth is below the
            // new level; a level that jumps ahead makes a child of the previous one.
            parent = prev;
            depth = prevDepth;
            while (level <= depth) {
                parent = parent->parent;
                --depth;
            }
            while (depth >= kMaxLoadDepth - 1) {
                parent = parent->parent;
                --depth;
            }
            ++depth;
        }
        DirectoryNode* node = tree.insert(parent, -1, rec.name, id);
        node->icon = kIconLeaf;
        if (parent != tree.root())
            parent->icon = kIconCollapsed;
        highestId = std::max(highestId, id);
        prev = node;
        prevDepth = depth;
    }

    size_t entryStart = n;
    if (sawEnd) {
        if (pos + 4 <= n) {
            int64_t count = readLe32(data + pos);
            pos += 4;
            count = std::clamp<int64_t>(count, 0, int64_t((n - pos) / kLearnedInitialSize));
            learned.reserve(size_t(count) + 20);
            for (int64_t i = 0; i < count; ++i) {
                LearnedInitial li;
                std::copy(data + pos, data + pos + kLearnedInitialSize, li.raw);
                learned.push_back(li);
                pos += kLearnedInitialSize;
            }
        }
        entryStart = std::min(pos, n);
    } else {
        nextId = 0;
    }
    // Ids handed out later must not meet one already in the tree, even when a
    // hand-made file's counter lags behind its directories.
    tree.setNextDirectoryId(std::max(nextId, highestId));

    // A partial record at the end cannot be a place; it is not kept.
    const size_t whole = (n - entryStart) / kEntryRecordSize * kEntryRecordSize;
    bytes.resize(entryStart + whole);
    image.assign(std::move(bytes), int32_t(entryStart));
    ModifiedFlag = false;
}

std::vector<uint8_t> Database::buildImage(int32_t* newEntryStart) const
{
    const size_t dirs = size_t(tree.count());
    const size_t frontSize = (dirs + 1) * kDirectoryRecordSize + 4 + learned.size() * kLearnedInitialSize;
    const size_t entryBytes = size_t(image.size() - image.entrySectionStart());
    std::vector<uint8_t> out(frontSize + entryBytes, 0);
    uint8_t* p = out.data();
    tree.forEach([&](const DirectoryNode* node, int depth) {
        DirectoryRecord{node->caption, depth, node->id}.encodeInto(p);
        p += kDirectoryRecordSize;
    });
    DirectoryRecord{std::string(), -1, tree.NextDirectoryId()}.encodeInto(p);
    p += kDirectoryRecordSize;
    writeLe32(p, int32_t(learned.size()));
    p += 4;
    for (const LearnedInitial& li : learned) {
        std::copy(li.raw, li.raw + kLearnedInitialSize, p);
        p += kLearnedInitialSize;
    }
    if (entryBytes)
        std::copy(image.bytes().begin() + image.entrySectionStart(), image.bytes().end(), p);
    if (newEntryStart)
        *newEntryStart = int32_t(frontSize);
    return out;
}

SaveReport Database::save(const ProgressFn& progress)
{
    SaveReport report;
    int32_t newStart = 0;
    std::vector<uint8_t> bytes = buildImage(&newStart);
    report.relocation = Relocation::shift(int64_t(newStart) - image.entrySectionStart());
    image.assign(std::move(bytes), newStart);
    ModifiedFlag = false;
    bool kept = false;
    report.ok = writeDatabaseFile(m_path, image.bytes(), progress, &report.message, m_preserveAs, &kept);
    if (report.ok) {
        if (kept)
            report.preservedAs = m_preserveAs;
        m_preserveAs.clear();
    } else {
        // The edits are still only in memory: the exit question must go on protecting them.
        ModifiedFlag = true;
    }
    return report;
}

}  // namespace qv
