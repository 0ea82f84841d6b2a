// The search and the sort against a plain reference written from the rules
// (every record tested field by field, a comparison sort of the texts), on
// random databases full of awkward bytes: both must give the same rows in
// the same order.
#include "SearchReference.h"
#include "TestImages.h"
#include "lookup/EntryRows.h"
#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace qv;

namespace {

struct Row {
    int32_t position;
    std::string dir, name, area, post;
    bool operator==(const Row& o) const
    {
        return position == o.position && dir == o.dir && name == o.name && area == o.area && post == o.post;
    }
};

void PrintTo(const Row& r, std::ostream* os)
{
    *os << r.position << " [" << QByteArray::fromStdString(r.dir).toHex().constData() << "|"
        << QByteArray::fromStdString(r.name).toHex().constData() << "|" << r.area << "|"
        << QByteArray::fromStdString(r.post).toHex().constData() << "]";
}

std::vector<Row> rowsOf(const EntryRowSet& set)
{
    std::vector<Row> out;
    for (const EntryRow& r : set.rows)
        out.push_back({r.position, std::string(set.directoryText(r)), std::string(r.nameText()),
                       std::string(r.areaText()), std::string(r.postText())});
    return out;
}

// The first row where two lists differ, for a readable failure.
::testing::AssertionResult sameRows(const std::vector<Row>& got, const std::vector<Row>& want)
{
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i)
        if (i >= got.size() || i >= want.size() || !(got[i] == want[i]))
            return ::testing::AssertionFailure()
                   << "rows differ at " << i << " of " << got.size() << "/" << want.size() << ": "
                   << (i < got.size() ? ::testing::PrintToString(got[i]) : "none") << " instead of "
                   << (i < want.size() ? ::testing::PrintToString(want[i]) : "none");
    return ::testing::AssertionSuccess();
}

using qvref::upper;


std::vector<Row> referenceSearch(const Database& db, const std::string& q, const QueryOptions& o)
{
    std::vector<Row> out;
    std::map<int32_t, std::string> dirs;
    db.tree.forEach([&](const DirectoryNode* n, int) { dirs[n->id] = n->caption; });
    db.image.forEachEntry([&](int32_t pos, const uint8_t* bytes) {
        const EntryRecord e = EntryRecord::decode(bytes);
        if (e.owner >= 0 && qvref::matches(db, e, q, o))
            out.push_back({pos, dirs.count(e.owner) ? dirs[e.owner] : "", e.name, e.areaCode, e.postcode});
    });
    return out;
}

// Sorted by one column's text, ASCII letters folded, stably.
void referenceSort(std::vector<Row>& rows, int column, int direction)
{
    auto key = [&](const Row& r) {
        return upper(column == 0 ? r.dir : column == 1 ? r.name : column == 2 ? r.area : r.post);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        return direction > 0 ? key(a) < key(b) : direction < 0 && key(b) < key(a);
    });
}

class Random {
public:
    explicit Random(unsigned seed) : m_rng(seed) {}
    int below(int n) { return int(m_rng() % unsigned(n)); }
    // Characters and bytes that make trouble: GBK characters that share
    // bytes, a character with a learned initial, letters of both cases,
    // blanks, zero bytes, and (at the end) a lone lead byte.
    std::string text(int maxBytes)
    {
        static const std::vector<std::string> pieces = {qvtest::gbk("北"),
                                                        qvtest::gbk("京"),
                                                        qvtest::gbk("山"),
                                                        qvtest::gbk("海"),
                                                        qvtest::gbk("亳"),
                                                        qvtest::gbk("重"),
                                                        qvtest::gbk("厦"),
                                                        qvtest::gbk("门"),
                                                        qvtest::gbk("廣"),
                                                        qvtest::gbk("（"),
                                                        "'",
                                                        "xia",
                                                        "\xB0\xB1",
                                                        "\xB1\xA1",
                                                        "\xD8\xA1",
                                                        "\xD8\xA2",
                                                        "\xD8\xA3",
                                                        "b",
                                                        "j",
                                                        "B",
                                                        "J",
                                                        "v",
                                                        "0",
                                                        "7",
                                                        "5",
                                                        " ",
                                                        std::string(1, '\0'),
                                                        "\xA1\xA1",
                                                        "#"};
        std::string s;
        const int n = below(maxBytes + 1);
        while (int(s.size()) < n)
            s += pieces[size_t(below(int(pieces.size())))];
        if (below(10) == 0)
            s += "\xC9";
        return s;
    }
    std::string digits(int maxBytes)
    {
        std::string s;
        for (int n = below(maxBytes + 1); n > 0; --n)
            s += char('0' + below(below(4) == 0 ? 10 : 3));
        return s;
    }

private:
    std::mt19937 m_rng;
};

// Forty directories (some sharing names and ids), learned initials with odd
// letters, three thousand places of every kind of owner; a few length bytes
// claim more than their field holds.
std::vector<uint8_t> randomImage(Random& rnd)
{
    qvtest::ImageBuilder b;
    int level = 0;
    std::vector<int32_t> ids = {0, 99, 1 << 30};
    for (int i = 0; i < 40; ++i) {
        level = i == 0 ? 0 : std::max(0, std::min(level + 1, level + 1 - rnd.below(3)));
        ids.push_back(1 + rnd.below(45));
        b.dir(rnd.below(4) == 0 ? "Dir" : rnd.text(8), level, ids.back());
    }
    b.end(50).learnedCount(4).learned(0xD9, 0xF1, 'B').learned(0xD8, 0xA1, '#').learned(0xD8, 0xA3, 'q');
    b.raw({2, 0xD8, 0xA2, 0, 'Z'});  // a record with no letter
    for (int i = 0; i < 3000; ++i) {
        int32_t owner = ids[size_t(rnd.below(int(ids.size())))];
        if (rnd.below(8) == 0)
            owner = -std::max(owner, 1);
        b.entry(rnd.text(27), owner, rnd.below(5) ? rnd.digits(8) : rnd.text(8), rnd.digits(5));
        if (rnd.below(50) == 0)
            b.bytes[b.bytes.size() - 48 + size_t(rnd.below(3) == 0 ? 0 : rnd.below(2) ? 32 : 41)] = 200;
    }
    return b.bytes;
}

TEST(SearchAndSortAgainstReference, RandomDatabases)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        Random rnd(seed);
        Database db;
        db.loadImage(randomImage(rnd));
        std::vector<std::string> queries = {"",
                                            "bj",
                                            "BJ",
                                            "v",
                                            "V",
                                            "0",
                                            "#",
                                            "Q",
                                            "\xB1",
                                            "\xB1\xB1",
                                            qvtest::gbk("北京"),
                                            std::string(30, 'b'),
                                            std::string(1, '\0'),
                                            "beijing",
                                            "bei jing",
                                            "Bei'J",
                                            "xi'a",
                                            "bei ji ng",
                                            "xiamen",
                                            "chongqing",
                                            "cq",
                                            "bobei",
                                            "haibei",
                                            "jingb",
                                            "xia",
                                            "lu",
                                            qvtest::gbk("廣"),
                                            qvtest::gbk("北廣"),
                                            // As input methods type: characters and pinyin mixed, unfinished
                                            // syllables, full-width forms, tones, hyphens.
                                            qvtest::gbk("北jing"),
                                            qvtest::gbk("bei京"),
                                            qvtest::gbk("廣zhou"),
                                            "be",
                                            "zhon",
                                            "zh",
                                            qvtest::gbk("ｂｅｉｊｉｎｇ"),
                                            qvtest::gbk("０１０"),
                                            qvtest::gbk("běi　jīng"),
                                            "bei3jing1",
                                            "xi-an",
                                            qvtest::gbk("xi’an"),
                                            qvtest::gbk("lü")};
        for (int i = 0; i < 150; ++i) {
            const std::string t = rnd.text(6) + rnd.digits(3);
            queries.push_back(t.substr(size_t(rnd.below(int(t.size()) + 1))));
        }
        for (const std::string& q : queries) {
            QueryOptions o;
            o.exact = rnd.below(2) == 0;
            o.fuzzy = rnd.below(8) == 0 ? o.exact : !o.exact;  // now and then both or neither
            const int fields = rnd.below(5) == 0 ? 15 : rnd.below(16);
            o.byName = fields & 1, o.byInitials = fields & 2, o.byPostcode = fields & 4, o.byAreaCode = fields & 8;
            EntryRowSet set = searchEntries(db, q, o);
            std::vector<Row> expected = referenceSearch(db, q, o);
            ASSERT_TRUE(sameRows(rowsOf(set), expected)) << "query of " << q.size() << " bytes";
            // Some rows show texts of their own (an edit not yet written).
            for (size_t r = 0; r < set.rows.size(); r += 7 + size_t(rnd.below(20))) {
                const std::string name = rnd.text(27), area = rnd.digits(5), post = rnd.text(9);
                set.rows.setTexts(r, name, area, post);
                expected[r].name = name.substr(0, 25), expected[r].area = area, expected[r].post = post.substr(0, 8);
            }
            for (int k = 0; k < 3; ++k) {
                const int column = rnd.below(4), direction = rnd.below(5) - 2;
                std::vector<Row> before = rowsOf(set);
                const std::vector<int> order = sortEntryRows(set, column, direction);
                referenceSort(expected, column, direction);
                ASSERT_TRUE(sameRows(rowsOf(set), expected)) << "column " << column << ", direction " << direction;
                for (size_t r = 0; r < order.size(); ++r)
                    ASSERT_EQ(before[size_t(order[r])], expected[r]);
            }
        }
        for (int32_t id : {1, 7, 99, 0}) {
            std::vector<Row> expected;
            for (const Row& r : referenceSearch(db, "", QueryOptions()))
                if (EntryRecord::decode(db.image.entryAt(r.position)).owner == id)
                    expected.push_back({r.position, "listed", r.name, r.area, r.post});
            EntryRowSet set = listDirectory(db.image, id, "listed");
            sortEntryRows(set, kColumnAreaCode, +1, nullptr);
            referenceSort(expected, kColumnAreaCode, +1);
            EXPECT_TRUE(sameRows(rowsOf(set), expected)) << "directory " << id;
        }
    }
}

TEST(SearchAndSortAgainstReference, KeysOfEveryWidth)
{
    // Postcodes of three arbitrary bytes (too many values for one counting
    // pass), of eight (longer than a key) and names sharing long beginnings.
    Random rnd(9);
    for (int kind = 0; kind < 3; ++kind) {
        EntryRowSet set;
        std::vector<Row> expected;
        for (int32_t i = 0; i < 5000; ++i) {
            std::string post(kind == 1 ? 8 : 3, '\0');
            for (char& c : post)
                c = char(kind == 1 ? '0' + rnd.below(2) : rnd.below(256));
            const std::string name = kind == 2 ? std::string("\xB1\xB1\xB1\xB1"
                                                             "Abc") +
                                                     rnd.text(12)
                                               : "n";
            set.rows.push(i, 0, name, "", post);
            expected.push_back({i, "", name, "", post});
        }
        for (int column : {kColumnPostcode, kColumnName})
            for (int direction : {+1, -1}) {
                sortEntryRows(set, column, direction);
                referenceSort(expected, column, direction);
                ASSERT_TRUE(sameRows(rowsOf(set), expected)) << kind << " " << column << " " << direction;
            }
    }
}

}  // namespace
