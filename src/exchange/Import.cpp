#include "exchange/Import.h"

#include "entries/EntryEditing.h"
#include "exchange/ProgressSteps.h"
#include "store/GbkText.h"

#include <QFileInfo>
#include <QIODevice>

#include <cstring>
#include <vector>

namespace qv {

namespace {

constexpr qint64 kChunk = 1 << 20;
// Bytes kept of a directory field or a place name. Lines may be of any
// length; beyond this a field only counts and (the directory field) hashes.
constexpr size_t kKeep = 64 * 1024;

// One field of the line being read: its first `cap` bytes and its length; a
// directory field also hashes the bytes beyond them, so that two huge fields
// compare without being held whole.
struct Field {
    explicit Field(size_t capacity, bool hashed = false) : cap(capacity), hashTail(hashed) {}

    size_t cap;
    bool hashTail;
    std::string kept;
    int64_t length = 0;
    uint64_t tail = kFnvBasis;

    static constexpr uint64_t kFnvBasis = 0xCBF29CE484222325ull;

    void clear()
    {
        kept.clear();
        length = 0;
        tail = kFnvBasis;
    }
    void append(const char* p, size_t n)
    {
        length += int64_t(n);
        const size_t take = std::min(n, cap - std::min(cap, kept.size()));
        kept.append(p, take);
        if (hashTail)
            for (size_t i = take; i < n; ++i)
                tail = (tail ^ uint8_t(p[i])) * 0x100000001B3ull;
    }
    bool sameAs(const Field& other) const
    {
        return length == other.length && tail == other.tail && kept == other.kept;
    }
    std::string cutTo(int limit) const { return kept.substr(0, gbk::fitToBytes(kept, size_t(limit))); }
};

class Importer {
public:
    Importer(Database& db, DirectoryNode* selected, const AskInitialFn& ask)
        : m_db(db), m_ask(ask)
    {
        m_parent = selected && selected->parent ? selected->parent : db.tree.root();
        m_known.note(db.learned);
    }

    bool done() const { return m_done; }
    ImportResult& result() { return m_result; }

    // Bytes of the current line, its line end taken off.
    void feed(const char* p, size_t n)
    {
        while (n && !m_done) {
            if (m_commas == 3) {
                m_post.append(p, n);  // the rest of the line, commas and all
                return;
            }
            const char* comma = static_cast<const char*>(std::memchr(p, ',', n));
            const size_t len = comma ? size_t(comma - p) : n;
            field().append(p, len);
            if (!comma)
                return;
            p += len + 1;
            n -= len + 1;
            if (++m_commas == 1)
                directoryField();
        }
    }

    void endLine()
    {
        if (m_done)
            return;
        if (m_commas < 3) {
            stop(ImportResult::ShortLine, QString());
            return;
        }
        if (m_known.anyUnknown(m_name.kept)) {
            LearnInitials(m_db.learned, m_name.kept, m_ask);
            m_known.note(m_db.learned);
        }
        m_text.name = m_name.cutTo(kNameCapacity);
        m_text.areaCode = m_area.cutTo(kAreaCodeCapacity);
        m_text.postcode = m_post.cutTo(kPostcodeCapacity);
        if (appendEntry(m_db, m_current, m_text) < 0) {
            stop(ImportResult::ImageFull, QStringLiteral("数据库已达到容量上限，无法再导入更多地区"));
            return;
        }
        ++m_result.entries;
        m_commas = 0;
        m_dir.clear();
        m_name.clear();
        m_area.clear();
        m_post.clear();
    }

    void stop(ImportResult::Stop why, const QString& message)
    {
        m_done = true;
        m_result.stop = why;
        m_result.message = message;
    }

private:
    Field& field() { return m_commas == 0 ? m_dir : m_commas == 1 ? m_name : m_area; }

    // The first comma of a line: a directory field unlike the last one that
    // made a directory starts a new one. At the start there is none yet, so
    // the first line always makes one, whatever its field holds.
    void directoryField()
    {
        if (m_haveDirectory && m_dir.sameAs(m_prevDir))
            return;
        const DirectoryNode* node = m_db.tree.insertNew(m_parent, -1, m_dir.cutTo(kNameCapacity));
        if (!node) {
            stop(ImportResult::NoDirectoryId, QStringLiteral("目录编号已经用完，无法再建立新目录"));
            return;
        }
        m_current = node->id;
        m_haveDirectory = true;
        std::swap(m_prevDir, m_dir);
        ++m_result.directories;
    }

    Database& m_db;
    const AskInitialFn& m_ask;
    DirectoryNode* m_parent = nullptr;
    KnownInitials m_known;

    Field m_dir{kKeep, true};
    Field m_prevDir{kKeep, true};
    Field m_name{kKeep};
    // One byte more than stored: enough to tell where the cut falls.
    Field m_area{kAreaCodeCapacity + 1};
    Field m_post{kPostcodeCapacity + 1};
    int m_commas = 0;
    bool m_haveDirectory = false;
    int32_t m_current = 0;
    EntryText m_text;

    bool m_done = false;
    ImportResult m_result;
};

}  // namespace

ImportResult importText(Database& db, QIODevice& in, DirectoryNode* selected, const AskInitialFn& ask,
                        const ProgressFn& progress)
{
    Importer importer(db, selected, ask);
    ProgressSteps steps(progress, in.isSequential() ? 0 : in.size());
    std::vector<char> buffer(static_cast<size_t>(kChunk));
    int64_t consumed = 0;
    // A CR at the end of a chunk may be the first half of a CR LF.
    bool pendingCR = false;
    bool lineOpen = false;
    auto feedPendingCR = [&] {
        if (pendingCR)
            importer.feed("\r", 1);
        pendingCR = false;
    };
    bool end = false;
    while (!end && !importer.done()) {
        const qint64 n = in.read(buffer.data(), kChunk);
        if (n < 0) {
            const QString why = in.errorString();
            importer.stop(ImportResult::ReadFailed,
                          why.isEmpty() ? QStringLiteral("读取文件时出错") : QStringLiteral("读取文件时出错：%1").arg(why));
            break;
        }
        const char* p = buffer.data();
        const char* stopAt = p + n;
        // 0x1A is the end-of-file mark of text files; no GBK trail byte has this value.
        if (const void* mark = std::memchr(p, 0x1A, size_t(n))) {
            stopAt = static_cast<const char*>(mark);
            end = true;
        }
        end = end || n == 0;
        while (p < stopAt && !importer.done()) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(stopAt - p)));
            const char* lineEnd = lf ? lf : stopAt;
            if (pendingCR && lineEnd == p && lf) {
                pendingCR = false;  // the CR of a CR LF split between chunks
            }
            feedPendingCR();
            const char* content = lineEnd;
            if (content > p && content[-1] == '\r') {
                --content;
                pendingCR = !lf;  // at a chunk's end it may still start a CR LF
            }
            importer.feed(p, size_t(content - p));
            if (!lf) {
                lineOpen = true;
                break;
            }
            importer.endLine();
            lineOpen = false;
            p = lf + 1;
        }
        consumed += n;
        steps(consumed);
    }
    if (end && lineOpen && !importer.done()) {
        // The last line without a line end.
        feedPendingCR();
        importer.endLine();
    }
    db.ModifiedFlag = true;
    return importer.result();
}

ImportResult importTextFile(Database& db, const QString& path, DirectoryNode* selected, const AskInitialFn& ask,
                            const ProgressFn& progress)
{
    ImportResult result;
    result.stop = ImportResult::CannotOpen;
    const QFileInfo info(path);
    const QString shown = info.absoluteFilePath();
    if (!info.exists()) {
        result.message = QStringLiteral("找不到文件“%1”").arg(shown);
        return result;
    }
    // Only a regular file: a pipe could block forever and a device never end.
    if (!info.isFile()) {
        result.message = QStringLiteral("“%1”不是普通文件，无法导入").arg(shown);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.message = QStringLiteral("无法打开文件“%1”：%2").arg(shown, file.errorString());
        return result;
    }
    return importText(db, file, selected, ask, progress);
}

}  // namespace qv
