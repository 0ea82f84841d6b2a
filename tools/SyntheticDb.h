#pragma once
// Synthetic databases for tests and benchmarks: a tree of directories,
// learned initials and any number of places with Chinese GBK names made of
// real GB2312 characters, area codes like 0755 and postcodes like 518000.
// The same options and seed always give the same database, byte for byte.
#include "entries/EntryEditing.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvgen {

struct Options {
    int64_t entries = 1000;
    int dirs = 300;
    int deletedPercent = 5;
    int learned = 20;
    bool varied = false;  // false: names drawn from a small pool, as in real data
    uint64_t seed = 1;
    int64_t bigDir = 0;   // entries put into one directory (all live), 0 for none
};

struct Summary {
    int64_t live = 0;
    int64_t deleted = 0;
    int32_t bigDirId = 0;       // the directory holding the big-dir entries
    std::string bigDirCaption;  // GBK
};

// splitmix64: small, fast and the same on every platform and library.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
    bool percent(int p) { return below(100) < uint64_t(p); }

private:
    uint64_t m_state;
};

namespace detail {

inline std::string gbk(const char* utf8)
{
    auto bytes = qv::gbk::fromUtf8(utf8);
    if (!bytes)
        throw std::runtime_error(std::string("no GBK form: ") + utf8);
    return *bytes;
}

// Splits GBK text into its two-byte characters.
inline std::vector<std::string> characters(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(text.substr(i, 2));
    return out;
}

// Characters common in place names, all from the first level of GB2312.
inline const char* kCommonUtf8 =
    "北京上海天津重庆广州深圳南东西中山江河湖州市县区镇乡村城阳平安宁昌武汉长沙成都杭苏福厦门青岛济大连沈"
    "哈尔滨石家庄太原呼和浩特郑合肥昆明贵兰银川乌鲁木齐拉萨口台香港澳新华兴丰泰康永福德清远梅花桥林园"
    "坪田水源溪口岭峰谷关营屯堡寨湾滩洲岛浦港头尾塘井泉沟坡坝庙寺店集场铺街道路";

// Characters of the second level: no fixed initial, the learned table gives one.
struct Level2 {
    const char* utf8;
    char initial;
};
inline const Level2 kLevel2[] = {
    {"亳", 'B'}, {"漯", 'L'}, {"泸", 'L'}, {"濮", 'P'}, {"岢", 'K'}, {"婺", 'W'}, {"衢", 'Q'},
    {"鄞", 'Y'}, {"儋", 'D'}, {"嵊", 'S'}, {"沭", 'S'}, {"邛", 'Q'}, {"郫", 'P'}, {"崂", 'L'},
    {"黟", 'Y'}, {"歙", 'S'}, {"莒", 'J'}, {"邳", 'P'}, {"睢", 'S'}, {"鄱", 'P'},
};

inline const char* kSuffixUtf8[] = {"市", "县", "区", "镇", "乡", "村", "街道", "自治县"};

}  // namespace detail

class Generator {
public:
    explicit Generator(const Options& options) : m_options(options), m_rng(options.seed)
    {
        m_common = detail::characters(detail::gbk(detail::kCommonUtf8));
        for (const auto& l2 : detail::kLevel2)
            m_level2.push_back(detail::gbk(l2.utf8));
        for (const char* s : detail::kSuffixUtf8)
            m_suffixes.push_back(detail::gbk(s));
        if (!m_options.varied) {
            m_pool.reserve(2000);
            for (int i = 0; i < 2000; ++i)
                m_pool.push_back(placeName());
        }
    }

    // Fills an empty database. Does not save it.
    Summary fill(qv::Database& db)
    {
        Summary summary;
        const Options& o = m_options;
        buildTree(db);
        addLearned(db);
        std::vector<int32_t> ids;
        db.tree.forEach([&](const qv::DirectoryNode* n, int) { ids.push_back(n->id); });
        if (ids.empty())
            throw std::runtime_error("no directories to put entries in");
        const qv::DirectoryNode* big = nullptr;
        if (o.bigDir > 0) {
            // The first city of the first province, or the first directory.
            const qv::DirectoryNode* first = db.tree.root()->children.front().get();
            big = first->hasChildren() ? first->children.front().get() : first;
            summary.bigDirId = big->id;
            summary.bigDirCaption = big->caption;
        }
        db.image.bytes().reserve(db.image.bytes().size() + size_t(o.entries) * qv::kEntryRecordSize);
        int64_t bigLeft = std::min(o.bigDir, o.entries);
        for (int64_t i = 0; i < o.entries; ++i) {
            // Selection sampling: exactly bigDir entries, spread over the whole image.
            const bool inBig = big && m_rng.below(uint64_t(o.entries - i)) < uint64_t(bigLeft);
            int32_t owner;
            if (inBig) {
                owner = big->id;
                --bigLeft;
            } else {
                do
                    owner = ids[m_rng.below(ids.size())];
                while (big && owner == big->id && ids.size() > 1);
            }
            qv::EntryText text = entryText(owner);
            const int32_t pos = qv::appendEntry(db, owner, text);
            if (pos < 0)
                throw std::runtime_error("the image cannot grow any further");
            if (!inBig && m_rng.percent(o.deletedPercent)) {
                qv::deleteEntry(db, pos);
                ++summary.deleted;
            } else {
                ++summary.live;
            }
        }
        return summary;
    }

private:
    std::string common() { return m_common[m_rng.below(m_common.size())]; }

    // Any character of the first level (B0A1-D7F9).
    std::string anyLevel1()
    {
        for (;;) {
            const int lead = 0xB0 + int(m_rng.below(0xD7 - 0xB0 + 1));
            const int trail = 0xA1 + int(m_rng.below(0xFE - 0xA1 + 1));
            if (lead == 0xD7 && trail > 0xF9)
                continue;
            return std::string{char(lead), char(trail)};
        }
    }

    std::string placeName()
    {
        std::string name;
        const int chars = 1 + int(m_rng.below(3));
        for (int i = 0; i < chars; ++i)
            name += m_rng.percent(8) ? m_level2[m_rng.below(m_level2.size())] : common();
        return name + m_suffixes[m_rng.below(m_suffixes.size())];
    }

    std::string variedName()
    {
        std::string name;
        const int chars = 2 + int(m_rng.below(9));  // up to 10 characters, 20 bytes
        for (int i = 0; i < chars; ++i) {
            const uint64_t kind = m_rng.below(100);
            if (kind < 6)
                name += m_level2[m_rng.below(m_level2.size())];
            else if (kind < 40)
                name += common();
            else
                name += anyLevel1();
        }
        if (m_rng.percent(5))
            name += std::to_string(1 + m_rng.below(99));  // "第3村", "新区12" and the like
        return name;
    }

    std::string areaCode()
    {
        static const char* kBig[] = {"010", "020", "021", "022", "023", "024", "025", "027", "028", "029"};
        if (m_rng.percent(15))
            return kBig[m_rng.below(10)];
        return "0" + std::to_string(310 + m_rng.below(690));  // 0310 .. 0999
    }

    std::string postcode()
    {
        const int region = 10 + int(m_rng.below(76));  // 10 .. 85
        const int local = int(m_rng.below(10000));
        std::string s = std::to_string(region * 10000 + local);
        return s;
    }

    qv::EntryText entryText(int32_t owner)
    {
        qv::EntryText t;
        if (m_options.varied) {
            t.name = variedName();
            t.areaCode = areaCode();
            t.postcode = postcode();
        } else {
            // Real lists repeat themselves: the names come from a pool, and a
            // directory's places share area code and most of the postcode.
            t.name = m_pool[m_rng.below(m_pool.size())];
            Rng local(uint64_t(owner) * 7919u + m_options.seed);
            t.areaCode = "0" + std::to_string(310 + local.below(690));
            t.postcode = std::to_string((10 + local.below(76)) * 10000 + local.below(100) * 100);
        }
        if (m_rng.percent(1)) {
            // A place abroad: the postcode field holds the time difference.
            static const char* kDiff[] = {"-13", "-12", "-8", "-7", "-5", "-1", "+1", "+3"};
            t.postcode = kDiff[m_rng.below(8)];
            t.areaCode = "00" + std::to_string(1 + m_rng.below(99));
        }
        return t;
    }

    void buildTree(qv::Database& db)
    {
        const int dirs = std::max(1, m_options.dirs);
        const int provinces = std::max(1, std::min(34, dirs / 20));
        std::vector<qv::DirectoryNode*> parents;  // depth 0 and 1 only: three levels at most
        for (int i = 0; i < dirs; ++i) {
            qv::DirectoryNode* parent = db.tree.root();
            std::string caption;
            if (i < provinces) {
                caption = common() + common() + detail::gbk("省");
            } else {
                parent = parents[m_rng.below(parents.size())];
                caption = placeName();
            }
            auto id = db.tree.allocateId();
            if (!id)
                throw std::runtime_error("no directory id left");
            caption.resize(qv::gbk::fitToBytes(caption, qv::kNameCapacity));
            qv::DirectoryNode* node = db.tree.insert(parent, -1, caption, *id);
            if (parent != db.tree.root())
                parent->icon = qv::kIconCollapsed;
            if (node->depth() < 2)
                parents.push_back(node);
        }
        db.ModifiedFlag = true;
    }

    void addLearned(qv::Database& db)
    {
        int k = 0;
        for (const auto& l2 : detail::kLevel2) {
            if (k++ >= m_options.learned)
                return;
            const std::string c = detail::gbk(l2.utf8);
            db.learned.push_back(qv::LearnedInitial::make(uint8_t(c[0]), uint8_t(c[1]), l2.initial));
        }
        // More than the characters above: further second-level characters in
        // code order, with a made-up letter (only the table's size matters then).
        for (int code = 0xD8A1; k < m_options.learned && code <= 0xF7FE; ++code) {
            const uint8_t lead = uint8_t(code >> 8), trail = uint8_t(code);
            if (trail < 0xA1 || trail > 0xFE)
                continue;
            bool known = false;
            for (const std::string& c : m_level2)
                known = known || (uint8_t(c[0]) == lead && uint8_t(c[1]) == trail);
            if (known)
                continue;
            db.learned.push_back(qv::LearnedInitial::make(lead, trail, char('A' + k % 26)));
            ++k;
        }
    }

    Options m_options;
    Rng m_rng;
    std::vector<std::string> m_common;
    std::vector<std::string> m_level2;
    std::vector<std::string> m_suffixes;
    std::vector<std::string> m_pool;
};

inline Summary generate(qv::Database& db, const Options& options)
{
    Generator g(options);
    return g.fill(db);
}

}  // namespace qvgen
