#include "store/DataUpdate.h"

#include "store/DatabaseLocation.h"
#include "store/GbkText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <unordered_set>

namespace qv {

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

QByteArray recordedBundleHash(const QString& databaseFile)
{
    QFile f(pristineHashPath(databaseFile));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray hash = f.readLine(200).trimmed().split(' ').value(0);
    if (hash.size() != 64 || fileSha256(pristineCopyPath(databaseFile)) != hash)
        return {};
    return hash;
}

namespace {

// Same database in both files: the same bytes, or the same content (a save
// without edits compresses anew and rewrites the unused bytes of the
// directory records), compared as a save would write it.
bool sameDatabase(const QString& a, const QString& b)
{
    const QByteArray hash = fileSha256(a);
    if (!hash.isEmpty() && hash == fileSha256(b))
        return true;
    Database x, y;
    if (!x.load(a).ok() || !y.load(b).ok())
        return false;
    return x.image.entryCount() == y.image.entryCount() && x.buildImage() == y.buildImage();
}

// Writes `bytes` to `path` under a temporary name first, replacing what is there.
QString writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return QStringLiteral("无法写入“%1”：%2").arg(shown(path), out.errorString());
    return QString();
}

std::vector<std::string> pathOf(const DirectoryNode* node)
{
    std::vector<std::string> path;
    for (; node && node->parent; node = node->parent)
        path.push_back(node->caption);
    std::reverse(path.begin(), path.end());
    return path;
}

enum { kBase = 0, kOurs = 1, kTheirs = 2 };

// Every place of the three databases by key (its directory path and name,
// each part ended by a zero byte). Per key only positions are kept, the
// first place of each side inline and the rarer further ones of the same
// name in a map, so that a copy of a million places costs one pass and
// little memory.
class PlaceIndex {
public:
    struct KeyPlaces {
        int32_t first[3] = {-1, -1, -1};  // position of the key's first place on each side
        uint32_t count[3] = {0, 0, 0};
        int firstSide = 0;  // the side the path and name are read from
        size_t text = 0;    // where the key's bytes start in m_text
        uint32_t length = 0;
    };

    PlaceIndex(const Database* const (&dbs)[3]) : m_dbs(dbs) {}

    // Adds every live place of side `which`, or with `onlyKnown` only those
    // whose key is there already.
    void collect(int which, bool onlyKnown)
    {
        const Database& db = *m_dbs[which];
        std::unordered_map<int32_t, std::string> dirs;
        std::vector<std::string> stack;
        db.tree.forEach([&](const DirectoryNode* node, int depth) {
            stack.resize(size_t(depth));
            std::string prefix = depth > 0 ? stack.back() : std::string();
            prefix += node->caption;
            prefix.push_back('\0');
            stack.push_back(prefix);
            dirs.emplace(node->id, std::move(prefix));
            m_nodes[which].emplace(node->id, node);
        });
        if (!onlyKnown)
            grow(m_places.size() + size_t(db.image.entryCount()));
        std::string key;
        db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
            const int32_t owner = entryOwner(rec);
            const auto dir = owner > 0 ? dirs.find(owner) : dirs.end();
            if (dir == dirs.end())
                return;
            const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
            key.assign(dir->second).append(name.data(), name.size()).push_back('\0');
            const uint32_t found = find(key, onlyKnown, which);
            if (found == kNone)
                return;
            KeyPlaces& k = m_places[found];
            const uint32_t n = k.count[which]++;
            if (n == 0)
                k.first[which] = pos;
            else
                m_more.emplace(moreKey(found, which, n), pos);
        });
    }

    size_t size() const { return m_places.size(); }
    const KeyPlaces& places(size_t key) const { return m_places[key]; }
    // Position of the n-th place of `key` on side `which`, -1 when there is none.
    int32_t position(size_t key, int which, uint32_t n) const
    {
        const KeyPlaces& k = m_places[key];
        if (n >= k.count[which])
            return -1;
        return n == 0 ? k.first[which] : m_more.at(moreKey(key, which, n));
    }
    std::optional<PlaceValues> values(int which, int32_t pos) const
    {
        if (pos < 0)
            return std::nullopt;
        const uint8_t* rec = m_dbs[which]->image.entryAt(pos);
        return PlaceValues{std::string(readField(rec + entry_field::kAreaLen, kAreaCodeCapacity)),
                           std::string(readField(rec + entry_field::kPostLen, kPostcodeCapacity))};
    }
    // Directory path and name of `key`, read from the side that first had it.
    void describe(size_t key, UpstreamChange& c) const
    {
        const KeyPlaces& k = m_places[key];
        const Database& db = *m_dbs[k.firstSide];
        const uint8_t* rec = db.image.entryAt(k.first[k.firstSide]);
        c.name = std::string(readField(rec + entry_field::kNameLen, kNameCapacity));
        c.path = pathOf(m_nodes[k.firstSide].at(entryOwner(rec)));
    }

private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Slot {
        uint64_t hash = 0;
        uint32_t key = kNone;
    };

    // An open-addressing table of key numbers, their bytes kept one after
    // another in m_text: no allocation per key, few cache misses per lookup.
    uint32_t find(const std::string& key, bool onlyKnown, int which)
    {
        const uint64_t hash = std::hash<std::string>()(key);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
            Slot& slot = m_slots[i];
            if (slot.key == kNone) {
                if (onlyKnown)
                    return kNone;
                slot = {hash, uint32_t(m_places.size())};
                m_places.emplace_back();
                m_places.back().firstSide = which;
                m_places.back().text = m_text.size();
                m_places.back().length = uint32_t(key.size());
                m_text += key;
                return slot.key;
            }
            const KeyPlaces& k = m_places[slot.key];
            if (slot.hash == hash && k.length == key.size() && m_text.compare(k.text, k.length, key) == 0)
                return slot.key;
        }
    }
    // Room for `keys` keys at most half full.
    void grow(size_t keys)
    {
        size_t size = 16;
        while (size < 2 * keys)
            size *= 2;
        if (size <= m_slots.size())
            return;
        std::vector<Slot> old(size);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.key == kNone)
                continue;
            size_t i = size_t(slot.hash) & mask;
            while (m_slots[i].key != kNone)
                i = (i + 1) & mask;
            m_slots[i] = slot;
        }
    }

    static uint64_t moreKey(size_t key, int which, uint32_t n)
    {
        return uint64_t(key) << 34 | uint64_t(which) << 32 | n;
    }

    const Database* const (&m_dbs)[3];
    std::vector<Slot> m_slots = std::vector<Slot>(16);
    std::string m_text;
    std::vector<KeyPlaces> m_places;  // in the order keys were first met
    std::unordered_map<uint64_t, int32_t> m_more;
    std::unordered_map<int32_t, const DirectoryNode*> m_nodes[3];
};

DirectoryNode* childNamed(DirectoryNode* parent, const std::string& caption)
{
    for (auto& c : parent->children)
        if (c->caption == caption)
            return c.get();
    return nullptr;
}

}  // namespace

QString pristineCopyPath(const QString& databaseFile) { return databaseFile + QStringLiteral(".bundled"); }
QString pristineHashPath(const QString& databaseFile) { return databaseFile + QStringLiteral(".bundled.sha256"); }

QByteArray fileSha256(const QString& path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f))
        return {};
    return hash.result().toHex();
}

QString recordBundledVersion(const QString& databaseFile, const QString& bundled)
{
    QFile in(bundled);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取“%1”：%2").arg(shown(bundled), in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("无法读取“%1”：%2").arg(shown(bundled), in.errorString());
    // The copy first: a hash that names a copy not yet written would make a
    // half-written base look valid.
    QString why = writeWhole(pristineCopyPath(databaseFile), bytes);
    if (why.isEmpty()) {
        const QByteArray line = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  " +
                                QFile::encodeName(QFileInfo(pristineCopyPath(databaseFile)).fileName()) + "\n";
        why = writeWhole(pristineHashPath(databaseFile), line);
    }
    return why;
}

QString updateBackupName(const QString& file)
{
    const QString first = file + QStringLiteral(".before-update");
    QString name = first;
    for (int n = 2; QFileInfo(name).exists() || QFileInfo(name).isSymLink(); ++n)
        name = first + QLatin1Char('.') + QString::number(n);
    return name;
}

StartUpdate updateAtStart(const QString& databaseFile, const QString& bundled, bool madeFromBundle)
{
    StartUpdate result;
    const QFileInfo file(databaseFile);
    if (bundled.isEmpty() || !file.isFile())
        return result;
    const QByteArray bundledHash = fileSha256(bundled);
    if (bundledHash.isEmpty())
        return result;
    const QByteArray recorded = recordedBundleHash(databaseFile);
    if (recorded.isEmpty()) {
        // Without a record only the data folder's copy came from a bundle;
        // when it equals today's, that bundle is the one it stands on.
        if (!madeFromBundle && !QFileInfo::exists(pristineHashPath(databaseFile)))
            return result;
        if (sameDatabase(databaseFile, bundled)) {
            result.kind = recordBundledVersion(databaseFile, bundled).isEmpty() ? StartUpdate::Recorded
                                                                                : StartUpdate::Nothing;
            return result;
        }
        result.kind = StartUpdate::Offered;
        result.baseKnown = false;
        return result;
    }
    if (recorded == bundledHash)
        return result;
    if (file.isSymLink() || !sameDatabase(databaseFile, pristineCopyPath(databaseFile))) {
        result.kind = StartUpdate::Offered;
        return result;
    }
    // Never edited: the newer bundle takes its place, and the old copy is kept.
    const QString kept = updateBackupName(databaseFile);
    if (!QFile::rename(databaseFile, kept)) {
        result.kind = StartUpdate::Failed;
        result.message = QStringLiteral("随程序附带的数据有了新的版本，但无法把“%1”改名为“%2”，数据没有更新。")
                             .arg(shown(databaseFile), shown(kept));
        return result;
    }
    const QString why = copyWithoutReplacing(bundled, databaseFile);
    if (!why.isEmpty()) {
        // Put the old copy back, unless another start has meanwhile made one.
        QFile::rename(kept, databaseFile);
        result.kind = StartUpdate::Failed;
        result.message = QStringLiteral("随程序附带的数据有了新的版本，但无法更新：%1").arg(why);
        return result;
    }
    const QString recordWhy = recordBundledVersion(databaseFile, bundled);
    result.kind = StartUpdate::Replaced;
    result.keptAs = kept;
    result.message = QStringLiteral("随程序附带的数据有了新的版本。你没有修改过的“%1”已换成新的版本，原来的文件保存为“%2”。")
                         .arg(file.fileName(), QFileInfo(kept).fileName());
    if (!recordWhy.isEmpty())
        result.message += QStringLiteral("\n\n不过没能记下新的版本：") + recordWhy;
    return result;
}

int UpdatePlan::count(UpstreamChange::Outcome outcome) const
{
    return int(std::count_if(changes.begin(), changes.end(),
                             [outcome](const UpstreamChange& c) { return c.outcome == outcome; }));
}

int UpdatePlan::count(UpstreamChange::Kind kind) const
{
    return int(std::count_if(changes.begin(), changes.end(), [kind](const UpstreamChange& c) { return c.kind == kind; }));
}

UpdatePlan planUpdate(const Database* base, const Database& ours, const Database& theirs)
{
    UpdatePlan plan;
    plan.baseKnown = base != nullptr;
    const Database* const dbs[3] = {base, &ours, &theirs};
    PlaceIndex index(dbs);
    index.collect(kTheirs, false);
    if (base)
        index.collect(kBase, false);
    // The user's copy may be large: only the places the bundles know are looked at.
    index.collect(kOurs, true);

    for (size_t key = 0; key < index.size(); ++key) {
        const PlaceIndex::KeyPlaces& k = index.places(key);
        const uint32_t n = std::max({k.count[kBase], k.count[kOurs], k.count[kTheirs]});
        for (uint32_t i = 0; i < n; ++i) {
            UpstreamChange c;
            c.oursPosition = index.position(key, kOurs, i);
            c.base = index.values(kBase, index.position(key, kBase, i));
            c.ours = index.values(kOurs, c.oursPosition);
            c.theirs = index.values(kTheirs, index.position(key, kTheirs, i));
            if (base) {
                if (c.base == c.theirs)
                    continue;  // the bundle left it alone: whatever the user has stays
            } else if (!c.theirs || c.ours == c.theirs) {
                continue;  // origin unknown: places only the user has are the user's
            }
            // Without a base, a place the user lacks counts as added by the bundle.
            const bool before = base ? bool(c.base) : bool(c.ours);
            c.kind = !before ? UpstreamChange::Added : !c.theirs ? UpstreamChange::Removed : UpstreamChange::Changed;
            if (c.ours == c.theirs)
                c.outcome = UpstreamChange::AlreadyThere;
            else if (base && c.ours == c.base)
                c.outcome = UpstreamChange::Apply;
            else
                c.outcome = UpstreamChange::Conflict;
            index.describe(key, c);
            plan.changes.push_back(std::move(c));
        }
    }
    return plan;
}

UpdateResult applyUpdate(Database& ours, const Database& theirs, const UpdatePlan& plan)
{
    UpdateResult result;
    std::vector<int32_t> gone;
    bool learnFromTheirs = false;
    for (const UpstreamChange& c : plan.changes) {
        const bool take = c.outcome == UpstreamChange::Apply || (c.outcome == UpstreamChange::Conflict && c.takeTheirs);
        if (!take || c.ours == c.theirs)
            continue;
        if (c.ours && c.theirs) {
            EntryRecord rec = ours.image.readEntry(c.oursPosition);
            rec.areaCode = c.theirs->areaCode;
            rec.postcode = c.theirs->postcode;
            rec.encodeInto(ours.image.entryAt(c.oursPosition));
            ours.notifyRewritten(c.oursPosition);
            ++result.changed;
        } else if (c.ours) {
            uint8_t* rec = ours.image.entryAt(c.oursPosition);
            writeLe32(rec + entry_field::kOwner, -entryOwner(rec));
            gone.push_back(c.oursPosition);
            ++result.removed;
        } else {
            if (ours.image.size() + kEntryRecordSize > INT32_MAX)
                continue;
            DirectoryNode* dir = ours.tree.root();
            for (const std::string& caption : c.path) {
                DirectoryNode* next = childNamed(dir, caption);
                if (!next)
                    next = ours.tree.insertNew(dir, -1, caption);
                if (!next)
                    break;
                if (dir != ours.tree.root() && dir->icon == kIconLeaf)
                    ours.tree.setExpanded(dir, false);  // a directory with subdirectories shows the closed book
                dir = next;
            }
            if (dir == ours.tree.root() || pathOf(dir) != c.path)
                continue;
            EntryRecord rec;
            rec.name = c.name;
            rec.owner = dir->id;
            rec.areaCode = c.theirs->areaCode;
            rec.postcode = c.theirs->postcode;
            ours.image.appendEntry(rec);
            learnFromTheirs = true;
            ++result.added;
        }
    }
    if (learnFromTheirs) {
        // Added names may hold characters only the bundle has learned.
        std::unordered_set<uint16_t> known;
        for (const LearnedInitial& li : ours.learned)
            if (li.raw[0] == 2)
                known.insert(uint16_t(li.raw[1] << 8 | li.raw[2]));
        for (const LearnedInitial& li : theirs.learned)
            if (li.raw[0] == 2 && known.insert(uint16_t(li.raw[1] << 8 | li.raw[2])).second)
                ours.learned.push_back(li);
    }
    std::sort(gone.begin(), gone.end());
    ours.notifyGone(gone);
    if (result.total() > 0)
        ours.ModifiedFlag = true;
    return result;
}

QString pathText(const std::vector<std::string>& path)
{
    QStringList parts;
    for (const std::string& caption : path)
        parts << gbk::toQString(caption);
    return parts.join(QStringLiteral(" / "));
}

}  // namespace qv
