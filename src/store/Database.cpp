#include "store/Database.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace qv {

namespace {

// The kept file as a message names it.
QString shownName(const QString& kept, const QString& databasePath)
{
    const QFileInfo info(kept);
    return info.absolutePath() == QFileInfo(databasePath).absolutePath() ? info.fileName() : info.absoluteFilePath();
}

// Directory ids are positive; a record with any other id (not the end marker)
// would list the places deleted from the directory of its negation as live.
QString badDirectoryId(const std::vector<uint8_t>& image)
{
    for (size_t pos = 0, n = 1; pos + kDirectoryRecordSize <= image.size(); pos += kDirectoryRecordSize, ++n) {
        if (readLe32(image.data() + pos + dir_field::kLevel) < 0)
            break;
        const int32_t id = readLe32(image.data() + pos + dir_field::kId);
        if (id <= 0)
            return QStringLiteral("第 %1 个目录的编号为 %2，而目录编号必须是正数").arg(n).arg(id);
    }
    return QString();
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

void Database::notifyDirectoryRenamed(int32_t id, const std::string& caption)
{
    for (EntryObserver* o : m_observers)
        o->directoryRenamed(id, caption);
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
    m_stamp = FileStamp();
    LoadReport report;
    const QString name = QFileInfo(path).fileName();
    const WriteTarget target = resolveWriteTarget(path);
    if (!target.problem.isEmpty()) {
        report.status = FileReadResult::Unreadable;
        report.detail = target.problem;
        report.message = QStringLiteral("%1。\n程序以空数据库启动。这个链接不会被替换：在它指向一个普通文件之前，无法保存。")
                             .arg(target.problem);
        return report;
    }
    FileReadResult read = readDatabaseFile(path);
    m_stamp = read.stamp.exists ? read.stamp : stampFile(target.file);
    if (read.status == FileReadResult::Ok || read.status == FileReadResult::Excess) {
        const QString bad = badDirectoryId(read.image);
        if (!bad.isEmpty()) {
            read.status = FileReadResult::Damaged;
            read.detail = bad;
            read.image.clear();
        }
    }
    report.status = read.status;
    report.detail = read.detail;
    if (read.status != FileReadResult::Ok && read.status != FileReadResult::Missing)
        m_preserveAs = keptFileName(target.file);
    const QString kept = shownName(m_preserveAs, path);
    switch (read.status) {
    case FileReadResult::Ok:
        loadImage(std::move(read.image));
        break;
    case FileReadResult::Excess: {
        const int64_t length = int64_t(read.image.size());
        loadImage(std::move(read.image));
        report.message = QStringLiteral("数据库文件“%1”不是按本程序的格式写的：%2。程序只读入了文件头所说的前 %3 "
                                        "字节。原文件不会被覆盖：第一次保存时它将被改名为“%4”保留。")
                             .arg(name, read.detail)
                             .arg(length)
                             .arg(kept);
        break;
    }
    case FileReadResult::Missing:
        report.message = QStringLiteral("%1。\n程序以空数据库启动，第一次保存时将新建“%2”。").arg(read.detail, name);
        break;
    case FileReadResult::Unreadable:
    case FileReadResult::Damaged: {
        const QString what = read.status == FileReadResult::Damaged
                                 ? QStringLiteral("数据库文件“%1”已损坏：%2").arg(name, read.detail)
                                 : read.detail;
        report.message = QStringLiteral("%1。\n程序以空数据库启动。原文件不会被覆盖：第一次保存时它将被改名为“%2”保留。")
                             .arg(what, kept);
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

size_t Database::frontSize() const
{
    return (size_t(tree.count()) + 1) * kDirectoryRecordSize + 4 + learned.size() * kLearnedInitialSize;
}

void Database::writeFront(uint8_t* p) const
{
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
}

std::vector<uint8_t> Database::buildImage(int32_t* newEntryStart) const
{
    const size_t front = frontSize();
    const size_t entryBytes = size_t(image.size() - image.entrySectionStart());
    std::vector<uint8_t> out;
    out.reserve(DatabaseImage::capacityFor(front + entryBytes));
    out.resize(front + entryBytes, 0);
    writeFront(out.data());
    if (entryBytes)
        std::copy(image.bytes().begin() + image.entrySectionStart(), image.bytes().end(), out.begin() + front);
    if (newEntryStart)
        *newEntryStart = int32_t(front);
    return out;
}

bool Database::changedOnDisk() const
{
    const WriteTarget target = resolveWriteTarget(m_path);
    // Only a file holds what a save could overwrite. A link that leads
    // nowhere, or a folder in the file's place, is never saved over (the
    // save says so); a file removed meanwhile loses nothing.
    if (!target.problem.isEmpty() || !QFileInfo(target.file).isFile())
        return false;
    return stampFile(target.file) != m_stamp;
}

SaveReport Database::saveAs(const QString& path, const ProgressFn& progress)
{
    const QString path0 = m_path, preserve0 = m_preserveAs, readOnly0 = m_readOnly;
    const FileStamp stamp0 = m_stamp;
    m_path = path;
    m_preserveAs.clear();
    m_readOnly.clear();
    SaveReport report = save(progress);
    if (!report.ok) {
        m_path = path0;
        m_preserveAs = preserve0;
        m_readOnly = readOnly0;
        m_stamp = stamp0;
    }
    return report;
}

SaveReport Database::save(const ProgressFn& progress)
{
    SaveReport report;
    if (!m_readOnly.isEmpty()) {
        report.message = m_readOnly;
        return report;
    }
    const bool wasModified = ModifiedFlag;
    const size_t front = frontSize();
    if (image.size() > 0 && front == size_t(image.entrySectionStart())) {
        // The usual save: no directory or learned initial more or less than
        // at the last load or save. The new front is written over the old one
        // and no entry moves, which spares a copy of the whole image. The
        // list may be reading entries meanwhile; the front is no part of them.
        std::fill(image.bytes().begin(), image.bytes().begin() + ptrdiff_t(front), uint8_t(0));
        writeFront(image.bytes().data());
    } else {
        int32_t newStart = 0;
        std::vector<uint8_t> bytes = buildImage(&newStart);
        report.relocation = Relocation::shift(int64_t(newStart) - image.entrySectionStart());
        image.assign(std::move(bytes), newStart);
    }
    report.relocation.setTarget(image.ref());
    ModifiedFlag = false;
    const WriteResult written = writeDatabaseFile(m_path, image.bytes(), progress, !m_preserveAs.isEmpty());
    report.ok = written.ok;
    report.message = written.error;
    if (report.ok) {
        m_stamp = written.stamp;
        report.preservedAs = written.keptAs;
        if (!written.keptAs.isEmpty())
            report.preservedShown = shownName(written.keptAs, m_path);
        m_preserveAs.clear();
    } else {
        // Edits are still only in memory and the exit question must go on
        // protecting them; without edits it has nothing to ask about.
        ModifiedFlag = wasModified;
    }
    return report;
}

}  // namespace qv
