// A long run of random edits (directories, places, imports, compaction,
// recovery, saves and reloads) applied to the program and, side by side, to
// a small model written from the file format's rules; after every save the
// file, read with zlib and the record layouts alone, must hold exactly what
// the model holds. QV_MODEL_SEED (or --seed=N) picks the run, QV_MODEL_OPS
// (or --ops=N) its length; a failure names both.
#include "entries/EntryEditing.h"
#include "exchange/Import.h"
#include "store/TextEncoding.h"
#include "lookup/EntryRows.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "TestImages.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace qv;

namespace {

uint64_t g_seed = 0;
int g_ops = 3000;

bool lead(char c) { return uint8_t(c) >= 0x81 && uint8_t(c) <= 0xFE; }

// The longest prefix of at most `cap` bytes that ends between characters.
std::string cutChars(const std::string& s, size_t cap)
{
    size_t i = 0;
    for (size_t n; i < s.size() && i + (n = lead(s[i]) && i + 1 < s.size() ? 2 : 1) <= cap; i += n) {
    }
    return s.substr(0, i);
}

struct MDir {
    int32_t id;
    std::string caption;
    MDir* parent;
    std::vector<std::unique_ptr<MDir>> children;
};

struct MEntry {
    std::string name, post, area;
    int32_t owner;
    bool operator==(const MEntry& o) const
    {
        return std::tie(name, post, area, owner) == std::tie(o.name, o.post, o.area, o.owner);
    }
};

std::string hex(const std::string& s)
{
    std::string out;
    for (unsigned char c : s)
        out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
    return out;
}
void PrintTo(const MEntry& e, std::ostream* os)
{
    *os << "{" << hex(e.name) << " " << hex(e.post) << " " << hex(e.area) << " @" << e.owner << "}";
}

// The first place where the program and the model differ, rather than both lists whole.
void expectEntries(const std::vector<MEntry>& got, const std::vector<MEntry>& want)
{
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    if (i < got.size() || i < want.size())
        ADD_FAILURE() << "places differ from record " << i << " of " << got.size() << " (model " << want.size()
                      << "): " << testing::PrintToString(i < got.size() ? got[i] : MEntry{}) << " instead of "
                      << testing::PrintToString(i < want.size() ? want[i] : MEntry{});
}

using Learned = std::tuple<uint8_t, uint8_t, char>;
using Shape = std::vector<std::tuple<int, std::string, int32_t>>;

std::optional<char> answerFor(uint8_t l, uint8_t t)
{
    return (l + t) % 7 == 0 ? std::nullopt : std::optional<char>(char('a' + (l * 31 + t) % 26));
}

// The database as the rules describe it.
struct Model {
    MDir root{0, {}, nullptr, {}};
    int32_t nextId = 0;
    std::vector<Learned> learned;
    std::vector<MEntry> entries;
    bool modified = false;

    Model() = default;
    Model(const Model& o) { *this = o; }
    Model& operator=(const Model& o)
    {
        root.children.clear();
        copyChildren(o.root, root);
        nextId = o.nextId, learned = o.learned, entries = o.entries, modified = o.modified;
        return *this;
    }
    static void copyChildren(const MDir& from, MDir& to)
    {
        for (const auto& c : from.children) {
            to.children.push_back(std::make_unique<MDir>(MDir{c->id, c->caption, &to, {}}));
            copyChildren(*c, *to.children.back());
        }
    }
    void preOrder(std::vector<MDir*>& out, MDir* d)
    {
        for (auto& c : d->children)
            out.push_back(c.get()), preOrder(out, c.get());
    }
    std::vector<MDir*> dirs()
    {
        std::vector<MDir*> out;
        preOrder(out, &root);
        return out;
    }
    Shape shape()
    {
        Shape out;
        for (MDir* d : dirs()) {
            int depth = -1;
            for (MDir* p = d; p->parent; p = p->parent)
                ++depth;
            out.emplace_back(depth, d->caption, d->id);
        }
        return out;
    }
    bool hasId(int32_t id)
    {
        for (MDir* d : dirs())
            if (d->id == id)
                return true;
        return false;
    }
    MDir* add(MDir* parent, int row, std::string caption)
    {
        auto d = std::make_unique<MDir>(MDir{++nextId, std::move(caption), parent, {}});
        MDir* raw = d.get();
        parent->children.insert(row < 0 ? parent->children.end() : parent->children.begin() + row, std::move(d));
        return raw;
    }
    std::unique_ptr<MDir> take(MDir* d)
    {
        auto& sib = d->parent->children;
        for (auto it = sib.begin(); it != sib.end(); ++it)
            if (it->get() == d) {
                auto owned = std::move(*it);
                sib.erase(it);
                return owned;
            }
        return nullptr;
    }
    void learn(const std::string& name)
    {
        for (size_t i = 0; i + 1 < name.size(); ++i) {
            if (!lead(name[i]))
                continue;
            const uint8_t l = uint8_t(name[i]), t = uint8_t(name[i + 1]);
            ++i;
            const unsigned code = l << 8 | t;
            bool known = code >= 0xB0A1 && code <= 0xD7F9;
            for (const Learned& x : learned)
                known = known || (std::get<0>(x) == l && std::get<1>(x) == t);
            if (std::optional<char> a = known ? std::nullopt : answerFor(l, t))
                learned.emplace_back(l, t, char(*a - 'a' + 'A'));
        }
    }
    // Lines end at LF or CR LF; fewer than three commas and the import stops.
    void import(const std::string& text, MDir* selected)
    {
        // Valid UTF-8 with something beyond ASCII is read as UTF-8; here that
        // is only U+0621 (the bytes D8 A1), which GBK lacks: nothing changes.
        if (QString::fromUtf8(text.data(), qsizetype(text.size())).toStdString() == text &&
            std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) >= 0x80; }))
            return;
        // Otherwise it is GBK, and bytes that are no GBK character (a lone
        // lead byte before a comma or a line end) change nothing either.
        if (text::firstBadGbk(text) != text::npos)
            return;
        MDir* parent = selected ? selected->parent : &root;
        std::optional<std::string> prev;
        int32_t current = 0;
        size_t at = 0;
        while (at < text.size()) {
            // CR LF, LF and a lone CR each end a line.
            size_t end = text.find_first_of("\r\n", at);
            std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? text.size() : end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
            for (char& c : line)
                if (uint8_t(c) < 0x20 || c == 0x7F)
                    c = ' ';
            size_t c1 = line.find(',');
            if (c1 == std::string::npos)
                break;
            const std::string dir = line.substr(0, c1);
            if (prev != dir)
                current = add(parent, -1, cutChars(dir, 25))->id, prev = dir;
            size_t c2 = line.find(',', c1 + 1), c3 = c2 == std::string::npos ? c2 : line.find(',', c2 + 1);
            if (c3 == std::string::npos)
                break;
            const std::string name = line.substr(c1 + 1, c2 - c1 - 1);
            learn(name);
            entries.push_back({cutChars(name, 25), cutChars(line.substr(c3 + 1), 8),
                               cutChars(line.substr(c2 + 1, c3 - c2 - 1), 5), current});
        }
        modified = true;
    }
};

Shape shapeOf(const DirectoryTree& tree)
{
    Shape out;
    tree.forEach([&](const DirectoryNode* n, int depth) { out.emplace_back(depth, n->caption, n->id); });
    return out;
}

std::vector<MEntry> entriesOf(const Database& db)
{
    std::vector<MEntry> out;
    db.image.forEachEntry([&](int32_t pos, const uint8_t*) {
        const EntryRecord r = db.image.readEntry(pos);
        out.push_back({r.name, r.postcode, r.areaCode, r.owner});
    });
    return out;
}

std::vector<Learned> learnedOf(const Database& db)
{
    std::vector<Learned> out;
    for (const LearnedInitial& li : db.learned) {
        EXPECT_TRUE(li.raw[0] == 2 && li.raw[3] == 1);
        out.emplace_back(li.raw[1], li.raw[2], char(li.raw[4]));
    }
    return out;
}

int32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}
std::string field(const std::vector<uint8_t>& b, size_t at) { return std::string(b.begin() + at + 1, b.begin() + at + 1 + b[at]); }

// The file read with zlib and the record layouts only.
void expectFileHolds(const QString& path, Model& m)
{
    const QByteArray file = qvtest::readFile(path);
    ASSERT_GE(file.size(), 4);
    std::vector<uint8_t> img(size_t(le32(std::vector<uint8_t>(file.begin(), file.begin() + 4), 0)));
    uLongf n = uLongf(img.size());
    ASSERT_EQ(uncompress(img.data(), &n, reinterpret_cast<const Bytef*>(file.constData() + 4), uLong(file.size() - 4)), Z_OK);
    ASSERT_EQ(n, img.size());
    Shape dirs;
    size_t p = 0;
    for (; p + 36 <= img.size() && le32(img, p + 28) >= 0; p += 36)
        dirs.emplace_back(le32(img, p + 28), field(img, p), le32(img, p + 32));
    ASSERT_LE(p + 40, img.size());
    EXPECT_EQ(dirs, m.shape());
    EXPECT_EQ(le32(img, p + 32), m.nextId);
    const int32_t learnedCount = le32(img, p + 36);
    p += 40;
    std::vector<Learned> learned;
    for (int32_t i = 0; i < learnedCount && p + 5 <= img.size(); ++i, p += 5)
        learned.emplace_back(img[p + 1], img[p + 2], char(img[p + 4]));
    EXPECT_EQ(learned, m.learned);
    ASSERT_EQ((img.size() - p) % 48, 0u);
    std::vector<MEntry> entries;
    for (; p < img.size(); p += 48)
        entries.push_back({field(img, p), field(img, p + 32), field(img, p + 41), le32(img, p + 28)});
    expectEntries(entries, m.entries);
}

void expectSame(const Database& db, Model& m)
{
    EXPECT_EQ(shapeOf(db.tree), m.shape());
    EXPECT_EQ(db.tree.NextDirectoryId(), m.nextId);
    EXPECT_EQ(learnedOf(db), m.learned);
    expectEntries(entriesOf(db), m.entries);
    EXPECT_EQ(db.ModifiedFlag, m.modified);
}

class ModelRun {
public:
    explicit ModelRun(uint64_t seed) : rng(seed) { db.load(path()); }

    std::mt19937_64 rng;
    QTemporaryDir dir;
    Database db;
    Model model, saved;
    int saves = 0, reloads = 0, imports = 0;

    QString path() const { return dir.filePath("kvrn.dat"); }
    size_t below(size_t n) { return n ? size_t(rng() % n) : 0; }
    bool chance(int percent) { return below(100) < size_t(percent); }

    // A directory of both trees at the same place in pre-order, or none.
    std::pair<DirectoryNode*, MDir*> pickDir(bool allowNone)
    {
        std::vector<DirectoryNode*> real;
        db.tree.forEach([&](DirectoryNode* n, int) { real.push_back(n); });
        const std::vector<MDir*> mine = model.dirs();
        if (real.size() != mine.size()) {
            ADD_FAILURE() << real.size() << " directories, the model has " << mine.size();
            return {nullptr, nullptr};
        }
        if (real.empty() || (allowNone && chance(15)))
            return {nullptr, nullptr};
        const size_t k = below(real.size());
        return {real[k], mine[k]};
    }

    // GBK text of common characters, characters without a known initial,
    // letters, digits, full-width blanks, NUL and now and then a lone lead byte.
    std::string text(size_t maxBytes)
    {
        static const char* const pieces[] = {"\xB1\xB1", "\xBE\xA9", "\xC9\xEE", "\xDB\xDA", "\xD8\xA1", "\x81\x40",
                                             "\xA1\xA1", "a",        "Z",        "0",        "7",        " "};
        std::string s;
        const size_t want = below(maxBytes + 1);
        while (s.size() < want) {
            s += pieces[below(std::size(pieces))];
            if (chance(3))
                s += '\0';
        }
        if (chance(10))
            s += char(0x81 + below(0x7E));  // a lone lead byte at the end
        return s;
    }

    std::vector<int32_t> somePositions()
    {
        std::vector<int32_t> out;
        for (size_t i = 0; i < model.entries.size(); ++i)
            if (chance(20))
                out.push_back(db.image.entrySectionStart() + int32_t(i) * kEntryRecordSize);
        return out;
    }

    void save()
    {
        const int32_t oldStart = db.image.entrySectionStart();
        const SaveReport r = db.save();
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        EXPECT_EQ(r.relocation.map(oldStart), db.image.entrySectionStart());
        model.modified = false;
        saved = model;
        ++saves;
        expectFileHolds(path(), model);
    }

    void reload()
    {
        if (saves == 0)
            return;
        ASSERT_TRUE(db.load(path()).ok());
        model = saved;
        ++reloads;
    }

    void step()
    {
        switch (below(16)) {
        case 0:
        case 1: {  // a new directory
            auto [node, mine] = pickDir(true);
            const auto place = NewDirectoryPlace(below(3));
            MDir* parent = mine ? mine->parent : &model.root;
            int row = 0;
            while (mine && parent->children[size_t(row)].get() != mine)
                ++row;
            const bool made = createDirectory(db, node, place) != nullptr;
            EXPECT_EQ(made, node != nullptr || place != NewDirectoryPlace::LastChild);
            if (!made)
                break;
            const char* caption = "\xD0\xC2\xC4\xBF\xC2\xBC";  // 新目录
            if (place == NewDirectoryPlace::LastChild)
                model.add(mine, -1, caption);
            else
                model.add(parent, place == NewDirectoryPlace::Before ? row : -1, caption);
            model.modified = true;
            break;
        }
        case 2: {  // rename; empty or longer than 25 bytes is refused
            auto [node, mine] = pickDir(false);
            if (!node)
                break;
            const std::string caption = text(30);
            const bool ok = renameDirectory(db, node, caption) == CaptionCheck::Ok;
            EXPECT_EQ(ok, !caption.empty() && caption.size() <= 25);
            if (ok)
                mine->caption = caption, model.modified = true;
            break;
        }
        case 3: {  // move under another directory or to the top level
            auto [node, mine] = pickDir(false);
            auto [target, mineTarget] = pickDir(true);
            if (!node)
                break;
            MDir* to = mineTarget ? mineTarget : &model.root;
            bool inside = false;
            for (MDir* p = to; p; p = p->parent)
                inside = inside || p == mine;
            const bool moved = moveDirectory(db, node, target);
            EXPECT_EQ(moved, mine->parent != to && !inside);
            if (moved) {
                auto owned = model.take(mine);
                owned->parent = to;
                to->children.push_back(std::move(owned));
                model.modified = true;
            }
            break;
        }
        case 4: {  // delete a directory without subdirectories
            auto [node, mine] = pickDir(false);
            if (!node)
                break;
            EXPECT_EQ(deleteDirectory(db, node), mine->children.empty());
            if (!mine->children.empty())
                break;
            for (MEntry& e : model.entries)
                if (e.owner == mine->id)
                    e.owner = -mine->id;
            model.take(mine);
            model.modified = true;
            break;
        }
        case 5:
        case 6:
        case 7: {  // new places in some directory
            auto [node, mine] = pickDir(false);
            for (size_t n = 1 + below(4); node && n > 0; --n) {
                const EntryText t{text(30), text(7), text(10)};
                ASSERT_GE(appendEntry(db, node->id, t), 0);
                model.entries.push_back({t.name.substr(0, 25), t.postcode.substr(0, 8), t.areaCode.substr(0, 5), node->id});
                model.modified = true;
            }
            break;
        }
        case 8: {  // edit a place, deleted or not
            if (model.entries.empty())
                break;
            const size_t k = below(model.entries.size());
            const EntryText t{text(30), text(7), text(10)};
            ASSERT_TRUE(rewriteEntry(db, db.image.entrySectionStart() + int32_t(k) * kEntryRecordSize, t));
            MEntry& e = model.entries[k];
            e.name = t.name.substr(0, 25), e.post = t.postcode.substr(0, 8), e.area = t.areaCode.substr(0, 5);
            model.modified = true;
            break;
        }
        case 9: {  // delete places
            const std::vector<int32_t> positions = somePositions();
            deleteEntries(db, positions);
            for (int32_t pos : positions) {
                int32_t& owner = model.entries[size_t(pos - db.image.entrySectionStart()) / kEntryRecordSize].owner;
                owner = owner > 0 ? -owner : owner;
            }
            model.modified = model.modified || !positions.empty();
            break;
        }
        case 10: {  // file places under a directory (deleted ones come back)
            auto [node, mine] = pickDir(false);
            if (!node)
                break;
            const std::vector<int32_t> positions = somePositions();
            moveEntries(db, positions, node->id);
            for (int32_t pos : positions)
                model.entries[size_t(pos - db.image.entrySectionStart()) / kEntryRecordSize].owner = node->id;
            model.modified = true;
            break;
        }
        case 11: {  // import lines, some directory fields repeating
            auto [node, mine] = pickDir(true);
            std::string lines;
            const char* dirs[] = {"\xBC\xD7", "\xD2\xD2", "x", ""};
            for (size_t n = 1 + below(8); n > 0; --n) {
                const int fields = chance(5) ? int(below(4)) : 4;
                std::string line = chance(20) ? text(30) : dirs[below(4)];
                for (int f = 1; f < fields; ++f)
                    line += "," + text(f == 3 ? 12 : 30) + (f == 3 && chance(10) ? ",more" : "");
                lines += line + (chance(50) ? "\r\n" : "\n");
            }
            if (chance(30))
                lines.pop_back();
            // The model reads GBK and UTF-8; enough NUL bytes on one side
            // would make the file UTF-16.
            if (bool bigEndian = false; text::looksLikeUtf16(lines, bigEndian))
                break;
            QByteArray bytes = QByteArray::fromStdString(lines);
            QBuffer in(&bytes);
            in.open(QIODevice::ReadOnly);
            importText(db, in, node, answerFor);
            model.import(lines, mine);
            ++imports;
            break;
        }
        case 12: {  // compaction, after the save that comes first
            if (model.modified)
                save();
            compactEntries(db);
            std::vector<MEntry> kept;
            for (const MEntry& e : model.entries)
                if (e.owner >= 0)
                    kept.push_back(e);
            model.entries = kept;
            break;
        }
        case 13: {  // recovery, between two saves
            if (model.modified)
                save();
            const int count = recoverEntries(db).count;
            int expected = 0;
            for (MEntry& e : model.entries) {
                if (e.owner >= 0)
                    continue;
                ++expected;
                e.owner = -e.owner;
                if (!model.hasId(e.owner))
                    model.root.children.push_back(
                        std::make_unique<MDir>(MDir{e.owner, "\xBB\xD6\xB8\xB4\xC4\xBF\xC2\xBC", &model.root, {}}));
            }
            EXPECT_EQ(count, expected);
            model.modified = model.modified || count > 0;
            save();
            break;
        }
        case 14:
            save();
            if (chance(50))
                reload();
            break;
        default:
            if (chance(20))
                reload();  // edits since the last save are dropped
            break;
        }
    }
};

}  // namespace

TEST(RandomEdits, FileHoldsWhatTheModelHolds)
{
    ModelRun run(g_seed);
    const std::string rerun = "QV_MODEL_SEED=" + std::to_string(g_seed) + " QV_MODEL_OPS=" + std::to_string(g_ops);
    int op = 0;
    for (; op < g_ops && !testing::Test::HasFailure(); ++op) {
        SCOPED_TRACE("operation " + std::to_string(op) + "; rerun with " + rerun);
        run.step();
        expectSame(run.db, run.model);
        // The listing of a directory shows its live places, in file order.
        auto [node, mine] = run.pickDir(false);
        if (node) {
            std::vector<std::string> listed, expected;
            for (const EntryRow& r : listDirectory(run.db.image, node->id, node->caption).rows)
                listed.emplace_back(r.nameText());
            for (const MEntry& e : run.model.entries)
                if (e.owner == mine->id)
                    expected.push_back(e.name);
            EXPECT_EQ(listed, expected);
        }
    }
    SCOPED_TRACE("rerun with " + rerun);
    run.save();
    run.reload();
    expectSame(run.db, run.model);
    std::printf("model run: seed %llu, %d operations, %d saves, %d reloads, %d imports, %zu directories, %zu places\n",
                static_cast<unsigned long long>(g_seed), op, run.saves, run.reloads, run.imports,
                run.model.dirs().size(), run.model.entries.size());
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const char* seed = std::getenv("QV_MODEL_SEED");
    const char* ops = std::getenv("QV_MODEL_OPS");
    g_seed = seed ? std::strtoull(seed, nullptr, 10) : 20240611;
    g_ops = ops ? std::atoi(ops) : g_ops;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seed=", 7) == 0)
            g_seed = std::strtoull(argv[i] + 7, nullptr, 10);
        else if (std::strncmp(argv[i], "--ops=", 6) == 0)
            g_ops = std::atoi(argv[i] + 6);
        else if (std::strcmp(argv[i], "--random-seed") == 0)
            g_seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return RUN_ALL_TESTS();
}
