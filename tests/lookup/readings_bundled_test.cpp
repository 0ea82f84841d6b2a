// Every place of the bundled database is found by the full pinyin that ICU's
// Han-Latin transform gives for its name; official readings find their
// places, readings nobody uses find none, traditional spellings find theirs,
// and the order by relevance puts the wanted place near the top.
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace qv;

namespace {

struct Bundled {
    Database db;
    std::unique_ptr<icu::Transliterator> toLatin;

    bool open()
    {
        const char* bin = std::getenv("QV_BINARY_DIR");
        if (!bin || !db.load(QString::fromLocal8Bit(bin) + QStringLiteral("/kvrn.dat")).ok())
            return false;
        UErrorCode status = U_ZERO_ERROR;
        toLatin.reset(icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        return U_SUCCESS(status);
    }
    // The syllables ICU reads in a GBK name, lower case, letters only.
    std::vector<std::string> syllables(const std::string& name) const
    {
        const QString text = gbk::toQString(name);
        icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
        toLatin->transliterate(u);
        std::string latin;
        u.toUTF8String(latin);
        std::vector<std::string> out(1);
        for (char c : latin) {
            if (std::isalpha(static_cast<unsigned char>(c)))
                out.back() += char(std::tolower(static_cast<unsigned char>(c)));
            else if (!out.back().empty())
                out.emplace_back();
        }
        if (out.back().empty())
            out.pop_back();
        return out;
    }
    // 0-based row of the first place named `name` when searching `query` by
    // relevance (fuzzy, four fields), or -1.
    int rank(const std::string& query, const std::string& name) const
    {
        EntryRowSet set = searchEntries(db, query, QueryOptions());
        rankEntryRows(db, set, query, QueryOptions());
        for (size_t i = 0; i < set.rows.size(); ++i)
            if (set.rows[i].nameText() == name)
                return int(i);
        return -1;
    }
};

std::string gbkOf(const char* utf8) { return *gbk::fromQString(QString::fromUtf8(utf8)); }

// Famous places by initials and by full pinyin: the row they must reach.
TEST(BundledRelevance, FamousPlacesComeFirst)
{
    Bundled b;
    ASSERT_TRUE(b.open());
    const struct {
        const char* query;
        const char* name;
        int within;  // rows
    } cases[] = {
        {"bj", "北京市", 1},     {"beijing", "北京市", 1},   {"sh", "上海市", 3},     {"shanghai", "上海市", 1},
        {"tj", "天津市", 1},     {"tianjin", "天津市", 1},   {"cq", "重庆市", 1},     {"chongqing", "重庆市", 1},
        {"gz", "广州市", 3},     {"guangzhou", "广州市", 1}, {"sz", "深圳市", 5},     {"shenzhen", "深圳市", 1},
        {"xian", "西安市", 3},   {"xi'an", "西安市", 1},     {"xm", "厦门市", 5},     {"xiamen", "厦门市", 1},
        {"zz", "郑州市", 5},     {"zhengzhou", "郑州市", 1}, {"hz", "杭州市", 5},     {"hangzhou", "杭州市", 1},
        {"nj", "南京市", 3},     {"nanjing", "南京市", 1},   {"wh", "武汉市", 5},     {"wuhan", "武汉市", 1},
        {"cd", "成都市", 3},     {"chengdu", "成都市", 1},   {"cs", "长沙市", 5},     {"changsha", "长沙市", 1},
        {"hf", "合肥市", 5},     {"hefei", "合肥市", 1},     {"km", "昆明市", 3},     {"kunming", "昆明市", 1},
        {"lz", "兰州市", 5},     {"lanzhou", "兰州市", 1},   {"sy", "沈阳市", 5},     {"shenyang", "沈阳市", 1},
        {"heb", "哈尔滨市", 3},  {"haerbin", "哈尔滨市", 1}, {"qd", "青岛市", 5},     {"qingdao", "青岛市", 1},
        {"dl", "大连市", 5},     {"dalian", "大连市", 1},    {"sjz", "石家庄市", 1},  {"shijiazhuang", "石家庄市", 1},
        {"lasa", "拉萨市", 1},   {"wlmq", "乌鲁木齐市", 1},  {"suzhou", "苏州市", 3}, {"guilin", "桂林市", 1},
    };
    for (const auto& c : cases) {
        const int r = b.rank(c.query, gbkOf(c.name));
        EXPECT_GE(r, 0) << c.query << " finds no " << c.name;
        EXPECT_LT(r, c.within) << c.query << ": " << c.name << " is row " << r + 1;
    }
}

// The floors: each three-character "…市" name among the first 10 rows for
// its two-letter initials in 90 % of cases; each place's complete full
// pinyin puts a place of that name first in 95 %.
TEST(BundledRelevance, RankFloors)
{
    Bundled b;
    ASSERT_TRUE(b.open());
    const std::string city = gbkOf("市");
    std::vector<std::string> names;
    b.db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (!(rec[entry_field::kOwner + 3] & 0x80))
            names.emplace_back(readField(rec + entry_field::kNameLen, kNameCapacity));
    });
    int cities = 0, inTen = 0, spelled = 0, first = 0;
    for (const std::string& name : names) {
        const std::vector<std::string> syl = b.syllables(name);
        std::string whole;
        for (const std::string& s : syl)
            whole += s;
        if (whole.empty())
            continue;
        ++spelled;
        first += b.rank(whole, name) == 0;
        if (name.size() == 6 && name.substr(4) == city && syl.size() == 3) {
            ++cities;
            const int r = b.rank(std::string{syl[0][0], syl[1][0]}, name);
            inTen += r >= 0 && r < 10;
        }
    }
    std::printf("three-character ...市 names in the first 10 rows by their initials: %d of %d (%.1f %%)\n", inTen,
                cities, 100.0 * inTen / cities);
    std::printf("places first by their complete full pinyin: %d of %d (%.2f %%)\n", first, spelled,
                100.0 * first / spelled);
    EXPECT_GE(cities, 600);
    EXPECT_GE(inTen * 10, cities * 9);
    EXPECT_GE(first * 100, spelled * 95);
}

TEST(BundledPinyin, EveryPlaceFoundByItsIcuPinyin)
{
    const char* bin = std::getenv("QV_BINARY_DIR");
    ASSERT_TRUE(bin) << "QV_BINARY_DIR is not set";
    Database db;
    ASSERT_TRUE(db.load(QString::fromLocal8Bit(bin) + QStringLiteral("/kvrn.dat")).ok());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> toLatin(
        icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);

    int places = 0, spelled = 0;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80)
            return;
        const std::string name(readField(rec + entry_field::kNameLen, kNameCapacity));
        const QString text = gbk::toQString(name);
        icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
        toLatin->transliterate(u);
        std::string latin;
        u.toUTF8String(latin);
        // The letters of the transform's output, blanks and punctuation left out.
        std::string query;
        for (char c : latin)
            if (std::isalpha(static_cast<unsigned char>(c)))
                query += char(std::tolower(static_cast<unsigned char>(c)));
        ++places;
        for (bool exact : {false, true}) {
            const PinyinQuery q(query, exact, db.learned);
            if (!q.spelling())
                continue;  // no syllable of two letters (none in the bundled names)
            spelled += exact;
            EXPECT_TRUE(q.matches(name)) << text.toStdString() << " " << query << (exact ? " exact" : "");
        }
    });
    EXPECT_GT(places, 3000);
    EXPECT_EQ(spelled, places);
}

// What the window's default search (fuzzy, all four fields) lists on the
// bundled database for a query.
std::set<std::string> namesFound(const Database& db, const char* utf8Query)
{
    std::set<std::string> names;
    const std::string query = gbk::fromQString(QString::fromUtf8(utf8Query)).value_or(std::string());
    for (const EntryRow& r : searchEntries(db, query, QueryOptions()).rows)
        names.insert(gbk::toQString(std::string(r.nameText())).toStdString());
    return names;
}

TEST(BundledPinyin, OfficialReadingsFindTheirPlacesAndRareReadingsNone)
{
    const char* bin = std::getenv("QV_BINARY_DIR");
    ASSERT_TRUE(bin) << "QV_BINARY_DIR is not set";
    Database db;
    ASSERT_TRUE(db.load(QString::fromLocal8Bit(bin) + QStringLiteral("/kvrn.dat")).ok());
    struct Case {
        const char* query;
        const char* name;
        bool found;
    };
    const Case cases[] = {
        // Official readings of place names.
        {"laoting", "乐亭县", true},   {"tanchang", "宕昌县", true}, {"luan", "六安市", true},
        {"bengbu", "蚌埠市", true},    {"panyu", "番禺区", true},    {"xiamen", "厦门市", true},
        {"shanxian", "单县", true},    {"yanshan", "铅山县", true},  {"guoyang", "涡阳县", true},
        {"hongtong", "洪洞县", true},   {"biyang", "泌阳县", true},   {"shaoling", "召陵区", true},
        {"kashi", "喀什市", true},     {"foshan", "佛山市", true},   {"kuerle", "库尔勒市", true},
        {"lishui", "丽水市", true},    {"donge", "东阿县", true},    {"ganzizangzu", "甘孜藏族自治州", true},
        // Readings nobody uses for these characters.
        {"hefeifu", "合肥市", false},  {"huangpuou", "黄浦区", false}, {"danlin", "石林彝族自治县", false},
        {"daixing", "大兴区", false},  {"nachang", "南昌市", false},   {"laoshan", "乐山市", false},
        {"fu", "合肥市", false},       {"ou", "黄浦区", false},
        // Traditional, Taiwan and Hong Kong spellings, and older variants.
        {"復興", "复兴区", true},      {"儀徵", "仪征市", true},      {"湖裡", "湖里区", true},
        {"遊仙", "游仙区", true},      {"臥龍", "卧龙区", true},      {"龍巖", "龙岩市", true},
        {"崑山", "昆山市", true},      {"赤峯", "赤峰市", true},      {"嶽麓", "岳麓区", true},
        {"慈谿", "慈溪市", true},      {"穆稜", "穆棱市", true},      {"啓東", "启东市", true},
        {"衞輝", "卫辉市", true},      {"鉅野", "巨野县", true},      {"臺北", "台北市", true},
        {"廣州", "广州市", true},      {"黃巖", "黄岩区", true},      {"無爲", "无为市", true},
        {"浮樑", "浮梁县", true},      {"峯峯礦區", "峰峰矿区", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(namesFound(db, c.query).count(c.name), c.found ? 1u : 0u) << c.query << " " << c.name;
    // Before, 市 read fú gave fu 761 rows, most of them "…市".
    EXPECT_LT(namesFound(db, "fu").size(), 100u);
}

}  // namespace
