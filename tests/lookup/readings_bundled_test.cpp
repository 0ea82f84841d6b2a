// Every place of the bundled database is found by the full pinyin that ICU's
// Han-Latin transform gives for its name; official readings find their
// places, readings nobody uses find none, traditional spellings find theirs.
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

using namespace qv;

namespace {

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
