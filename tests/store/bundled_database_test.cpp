// Checks the bundled database that the build makes from data/ (kvrn.dat in
// the build directory): its tree, sample places, field sizes, GBK forms,
// learned initials and the search by initials.
#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/DataUpdate.h"
#include "store/Database.h"
#include "store/GbkText.h"
#include "TestImages.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace qv;

namespace {

// GBK bytes of a UTF-8 literal.
std::string gb(const char* utf8)
{
    return qvtest::gbk(utf8);
}

QString envDir(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QString::fromLocal8Bit(v) : QString();
}

QString bundledPath()
{
    return envDir("QV_BINARY_DIR") + QStringLiteral("/kvrn.dat");
}

struct Entry {
    int32_t pos;
    EntryRecord rec;
};

class BundledDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(envDir("QV_BINARY_DIR").isEmpty()) << "QV_BINARY_DIR is not set";
        s_db = new Database;
        const LoadReport report = s_db->load(bundledPath());
        ASSERT_TRUE(report.ok()) << report.message.toStdString() << " (build the bundled_db target first)";
    }
    static void TearDownTestSuite()
    {
        delete s_db;
        s_db = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_db && !s_db->tree.isEmpty()); }

    static const Database& db() { return *s_db; }

    static const DirectoryNode* root(const char* utf8)
    {
        for (const auto& n : db().tree.root()->children)
            if (n->caption == gb(utf8))
                return n.get();
        return nullptr;
    }
    static const DirectoryNode* child(const DirectoryNode* parent, const char* utf8)
    {
        if (parent)
            for (const auto& n : parent->children)
                if (n->caption == gb(utf8))
                    return n.get();
        return nullptr;
    }
    static std::vector<Entry> entriesOf(int32_t owner)
    {
        std::vector<Entry> out;
        db().image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
            if (entryOwner(rec) == owner)
                out.push_back({pos, EntryRecord::decode(rec)});
        });
        return out;
    }
    static std::vector<Entry> entriesNamed(const char* utf8)
    {
        std::vector<Entry> out;
        db().image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
            EntryRecord r = EntryRecord::decode(rec);
            if (r.name == gb(utf8))
                out.push_back({pos, r});
        });
        return out;
    }

    static Database* s_db;
};

Database* BundledDatabase::s_db = nullptr;

// Rows of a data file, split at commas (the files hold no quoted fields).
std::vector<std::vector<std::string>> csvRows(const char* file)
{
    const QString path = envDir("QV_SOURCE_DIR") + QStringLiteral("/data/") + QString::fromLatin1(file);
    std::ifstream in(path.toStdString());
    std::vector<std::vector<std::string>> rows;
    if (!in) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << " (is QV_SOURCE_DIR set?)";
        return rows;
    }
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, ','))
            f.push_back(field);
        if (!line.empty() && line.back() == ',')
            f.emplace_back();
        rows.push_back(f);
    }
    return rows;
}

}  // namespace

TEST_F(BundledDatabase, ProvincesThenAbroadAsRoots)
{
    const auto& roots = db().tree.root()->children;
    ASSERT_EQ(roots.size(), 35u);  // 34 province-level divisions, then 国外
    EXPECT_EQ(roots[0]->caption, gb("北京市"));
    EXPECT_EQ(roots[1]->caption, gb("天津市"));
    EXPECT_EQ(roots[2]->caption, gb("河北省"));
    EXPECT_EQ(roots[31]->caption, gb("台湾省"));
    EXPECT_EQ(roots[32]->caption, gb("香港特别行政区"));
    EXPECT_EQ(roots[33]->caption, gb("澳门特别行政区"));
    EXPECT_EQ(roots[34]->caption, gb("国外"));
    std::set<std::string> captions;
    for (const auto& r : roots)
        EXPECT_TRUE(captions.insert(r->caption).second) << qv::gbk::toQString(r->caption).toStdString();
}

TEST_F(BundledDatabase, IdsRunFromOneInTreeOrder)
{
    int32_t expected = 0;
    db().tree.forEach([&](const DirectoryNode* node, int depth) {
        EXPECT_EQ(node->id, ++expected);
        EXPECT_LE(depth, 1);
    });
    EXPECT_EQ(db().tree.NextDirectoryId(), expected);
    // Every entry belongs to a live directory.
    db().image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = entryOwner(rec);
        EXPECT_TRUE(owner >= 1 && owner <= expected) << owner;
    });
}

TEST_F(BundledDatabase, EveryDataRowIsOneEntryAndCitiesHaveTheirCounties)
{
    // Each row of places.csv below province level is one entry (a
    // municipality's repeated city row becomes the entry for the city itself),
    // and each row of abroad.csv is one entry.
    size_t placeRows = 0;
    std::set<std::pair<std::string, std::string>> citiesWithCounties;
    for (const auto& f : csvRows("places.csv")) {
        ASSERT_EQ(f.size(), 5u);
        if (!f[1].empty())
            ++placeRows;
        if (!f[2].empty() && f[1] != f[0] && f[1].find("直辖县级") == std::string::npos)
            citiesWithCounties.insert({f[0], f[1]});
    }
    const size_t abroadRows = csvRows("abroad.csv").size();
    EXPECT_EQ(placeRows, 3234u);
    EXPECT_EQ(abroadRows, 204u);
    EXPECT_EQ(size_t(db().image.entryCount()), placeRows + abroadRows);
    // Roots, one subdirectory per city with counties, 国外 and six continents.
    EXPECT_EQ(size_t(db().tree.count()), 34 + citiesWithCounties.size() + 1 + 6);
    EXPECT_EQ(db().tree.count(), 370);

    // A city is an entry of its province and, when it has counties, a
    // subdirectory of the same name holding them.
    const DirectoryNode* hebei = root("河北省");
    ASSERT_NE(hebei, nullptr);
    const DirectoryNode* sjz = child(hebei, "石家庄市");
    ASSERT_NE(sjz, nullptr);
    std::set<std::string> hebeiEntries;
    for (const Entry& e : entriesOf(hebei->id))
        hebeiEntries.insert(e.rec.name);
    EXPECT_EQ(hebeiEntries.size(), 11u);
    for (const auto& sub : hebei->children)
        EXPECT_TRUE(hebeiEntries.count(sub->caption)) << qv::gbk::toQString(sub->caption).toStdString();
    bool haveChangan = false;
    for (const Entry& e : entriesOf(sjz->id))
        haveChangan = haveChangan || e.rec.name == gb("长安区");
    EXPECT_TRUE(haveChangan);

    // No directory lists the same name twice (the repeated rows are skipped).
    db().tree.forEach([&](const DirectoryNode* node, int) {
        std::set<std::string> names;
        for (const Entry& e : entriesOf(node->id))
            EXPECT_TRUE(names.insert(e.rec.name).second) << qv::gbk::toQString(e.rec.name).toStdString();
    });
}

TEST_F(BundledDatabase, MunicipalitiesAndDirectCountiesSitInTheRoot)
{
    for (const char* m : {"北京市", "天津市", "上海市", "重庆市", "香港特别行政区", "澳门特别行政区"}) {
        const DirectoryNode* r = root(m);
        ASSERT_NE(r, nullptr) << m;
        EXPECT_TRUE(r->children.empty()) << m;
        const std::vector<Entry> entries = entriesOf(r->id);
        ASSERT_GT(entries.size(), 5u) << m;
        EXPECT_EQ(entries[0].rec.name, gb(m));  // the city itself, then its districts
    }
    const DirectoryNode* beijing = root("北京市");
    std::vector<Entry> bj = entriesOf(beijing->id);
    ASSERT_EQ(bj.size(), 17u);
    EXPECT_EQ(bj[1].rec.name, gb("东城区"));
    EXPECT_EQ(bj[1].rec.areaCode, "010");
    EXPECT_EQ(bj[1].rec.postcode, "100010");

    // County-level places under a province directly, without a directory for
    // the "直辖" label; cities without counties get no subdirectory.
    const DirectoryNode* henan = root("河南省");
    ASSERT_NE(henan, nullptr);
    bool jiyuan = false;
    for (const Entry& e : entriesOf(henan->id))
        jiyuan = jiyuan || (e.rec.name == gb("济源市") && e.rec.areaCode == "0391");
    EXPECT_TRUE(jiyuan);
    db().tree.forEach([&](const DirectoryNode* node, int) {
        EXPECT_EQ(node->caption.find(gb("直辖")), std::string::npos);
    });
    EXPECT_EQ(child(root("广东省"), "东莞市"), nullptr);
    EXPECT_EQ(entriesNamed("东莞市").size(), 1u);
    // 台湾省's cities and counties have no county rows, so they are places of
    // the province itself, as 东莞市 is one of 广东省.
    const DirectoryNode* taiwan = root("台湾省");
    ASSERT_NE(taiwan, nullptr);
    EXPECT_TRUE(taiwan->children.empty());
    const std::vector<Entry> tw = entriesOf(taiwan->id);
    ASSERT_EQ(tw.size(), 20u);
    EXPECT_EQ(tw.front().rec.name, gb("台北市"));
    EXPECT_EQ(tw.back().rec.name, gb("澎湖县"));
    for (const Entry& e : tw)
        EXPECT_EQ(e.rec.areaCode, "00886") << qv::gbk::toQString(e.rec.name).toStdString();
}

TEST_F(BundledDatabase, WellKnownPlacesHaveTheirCodes)
{
    struct Known {
        const char* province;
        const char* name;
        const char* area;
        const char* post;
    };
    const Known known[] = {
        {"北京市", "北京市", "010", "100000"},       {"上海市", "上海市", "021", "200000"},
        {"天津市", "天津市", "022", "300000"},       {"重庆市", "重庆市", "023", "400000"},
        {"广东省", "广州市", "020", "510000"},       {"广东省", "深圳市", "0755", "518000"},
        {"湖北省", "武汉市", "027", "430000"},       {"陕西省", "西安市", "029", "710000"},
        {"浙江省", "杭州市", "0571", "310000"},      {"四川省", "成都市", "028", "610000"},
        {"西藏自治区", "拉萨市", "0891", "850000"},  {"新疆维吾尔自治区", "乌鲁木齐市", "0991", "830000"},
        {"黑龙江省", "哈尔滨市", "0451", "150000"},  {"海南省", "海口市", "0898", "570000"},
        {"香港特别行政区", "香港特别行政区", "00852", "999077"},
    };
    for (const Known& k : known) {
        const DirectoryNode* prov = root(k.province);
        ASSERT_NE(prov, nullptr) << k.province;
        bool found = false;
        for (const Entry& e : entriesOf(prov->id)) {
            if (e.rec.name != gb(k.name))
                continue;
            found = true;
            EXPECT_EQ(e.rec.areaCode, k.area) << k.name;
            EXPECT_EQ(e.rec.postcode, k.post) << k.name;
        }
        EXPECT_TRUE(found) << k.name;
    }
}

TEST_F(BundledDatabase, CorrectedRowsHaveTheirCodes)
{
    // Rows whose codes were corrected or filled in by hand; a blank postcode
    // is one no source gives with confidence and stays blank.
    struct Corrected {
        const char* province;
        const char* city;  // nullptr: a place of the province itself
        const char* name;
        const char* area;
        const char* post;
    };
    const Corrected rows[] = {
        {"新疆维吾尔自治区", nullptr, "铁门关市", "0996", ""},  {"新疆维吾尔自治区", nullptr, "可克达拉市", "0999", "835213"},
        {"山西省", nullptr, "朔州市", "0349", "036000"},         {"广东省", nullptr, "东莞市", "0769", "523000"},
        {"西藏自治区", "林芝市", "巴宜区", "0894", "860000"},    {"天津市", nullptr, "蓟州区", "022", "301900"},
        {"广东省", "深圳市", "龙华区", "0755", "518109"},        {"广东省", "深圳市", "光明区", "0755", ""},
        {"福建省", "泉州市", "金门县", "00886", "893"},          {"台湾省", nullptr, "台北市", "00886", "100"},
        {"宁夏回族自治区", nullptr, "中卫市", "0955", "755000"}, {"山西省", "大同市", "云冈区", "0352", "037001"},
        {"西藏自治区", "林芝市", "米林县", "0894", "860500"},    {"西藏自治区", "林芝市", "察隅县", "0894", "860600"},
        {"西藏自治区", "林芝市", "工布江达县", "0894", "860200"}, {"西藏自治区", "林芝市", "朗县", "0894", "856500"},
        {"贵州省", "六盘水市", "盘州市", "0858", "553537"},
    };
    for (const Corrected& c : rows) {
        const DirectoryNode* dir = c.city ? child(root(c.province), c.city) : root(c.province);
        ASSERT_NE(dir, nullptr) << c.province << " " << (c.city ? c.city : "");
        std::vector<Entry> found;
        for (const Entry& e : entriesOf(dir->id))
            if (e.rec.name == gb(c.name))
                found.push_back(e);
        ASSERT_EQ(found.size(), 1u) << c.name;
        EXPECT_EQ(found[0].rec.areaCode, c.area) << c.name;
        EXPECT_EQ(found[0].rec.postcode, c.post) << c.name;
    }
}

TEST_F(BundledDatabase, EveryTextFitsItsFieldAndHasAGbkForm)
{
    const std::vector<uint8_t>& bytes = db().image.bytes();
    auto wholeGbk = [](const std::string& text) {
        const QString decoded = qv::gbk::toQString(text);
        const auto back = qv::gbk::fromQString(decoded);
        return !decoded.contains(QChar(0xFFFD)) && back && *back == text;
    };
    // Directory records as stored, before the reader's clamping.
    for (int32_t i = 0; i < db().tree.count(); ++i) {
        const uint8_t* rec = bytes.data() + i * kDirectoryRecordSize;
        ASSERT_GE(rec[0], 1);
        ASSERT_LE(rec[0], kNameCapacity);
        const std::string name(readField(rec, kNameCapacity));
        EXPECT_TRUE(wholeGbk(name)) << i;
    }
    int64_t count = 0;
    db().image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        ++count;
        EXPECT_GE(rec[entry_field::kNameLen], 1) << pos;
        EXPECT_LE(rec[entry_field::kNameLen], kNameCapacity) << pos;
        EXPECT_LE(rec[entry_field::kPostLen], kPostcodeCapacity) << pos;
        EXPECT_LE(rec[entry_field::kAreaLen], kAreaCodeCapacity) << pos;
        const EntryRecord r = EntryRecord::decode(rec);
        EXPECT_TRUE(wholeGbk(r.name)) << pos;
        EXPECT_TRUE(wholeGbk(r.postcode) && wholeGbk(r.areaCode)) << pos;
    });
    EXPECT_EQ(count, db().image.entryCount());

    // Names too long for the field are stored in their official short form.
    for (const char* longName : {"积石山保安族东乡族撒拉族自治县", "双江拉祜族佤族布朗族傣族自治县",
                                 "镇沅彝族哈尼族拉祜族自治县"})
        EXPECT_GT(gb(longName).size(), size_t(kNameCapacity));
    EXPECT_EQ(entriesNamed("积石山县").size(), 1u);
    EXPECT_EQ(entriesNamed("双江县").size(), 1u);
    EXPECT_EQ(entriesNamed("镇沅县").size(), 1u);
}

TEST_F(BundledDatabase, EveryNameHasInitials)
{
    auto check = [&](const std::string& name) {
        const std::string ini = NameInitials(name, db().learned);
        EXPECT_EQ(ini.find('\0'), std::string::npos) << qv::gbk::toQString(name).toStdString();
    };
    db().tree.forEach([&](const DirectoryNode* node, int) { check(node->caption); });
    db().image.forEachEntry([&](int32_t, const uint8_t* rec) { check(EntryRecord::decode(rec).name); });

    // Learned records are well formed, only for characters the ranges miss,
    // and never repeated.
    std::set<uint16_t> seen;
    std::map<uint16_t, char> letters;
    for (const LearnedInitial& li : db().learned) {
        EXPECT_EQ(li.raw[0], 2);
        EXPECT_EQ(li.raw[3], 1);
        EXPECT_TRUE(isAcceptableInitial(li.initial()));
        const uint16_t code = uint16_t(li.raw[1] << 8 | li.raw[2]);
        EXPECT_EQ(rangeInitial(code), 0) << std::hex << code;
        EXPECT_TRUE(seen.insert(code).second) << std::hex << code;
        letters[code] = char(li.raw[4]);
    }
    auto letterOf = [&](const char* utf8) {
        const std::string b = gb(utf8);
        return letters[uint16_t(uint8_t(b[0]) << 8 | uint8_t(b[1]))];
    };
    EXPECT_EQ(letterOf("亳"), 'B');
    EXPECT_EQ(letterOf("濮"), 'P');
    EXPECT_EQ(letterOf("邗"), 'H');
    // Place-name readings that differ from the common one.
    EXPECT_EQ(letterOf("犍"), 'Q');  // 犍为
    EXPECT_EQ(letterOf("宕"), 'T');  // 宕昌
    EXPECT_EQ(letterOf("陂"), 'P');  // 黄陂
    EXPECT_EQ(letterOf("枞"), 'Z');  // 枞阳
    EXPECT_EQ(NameInitials(gb("刚果（金）"), db().learned), "GGVJV");
}

TEST_F(BundledDatabase, PlacesAbroadHaveDiallingCodeAndTimeDifference)
{
    const DirectoryNode* abroad = root("国外");
    ASSERT_NE(abroad, nullptr);
    std::vector<std::string> continents;
    for (const auto& c : abroad->children)
        continents.push_back(c->caption);
    EXPECT_EQ(continents, (std::vector<std::string>{gb("亚洲"), gb("欧洲"), gb("非洲"), gb("北美洲"),
                                                    gb("南美洲"), gb("大洋洲")}));
    EXPECT_TRUE(entriesOf(abroad->id).empty());
    const QRegularExpression difference(QStringLiteral("^([+-](0\\.(25|5|75)|[1-9][0-9]?(\\.(25|5|75))?)|0)$"));
    size_t total = 0;
    for (const auto& c : abroad->children) {
        const std::vector<Entry> places = entriesOf(c->id);
        EXPECT_GT(places.size(), 10u);
        total += places.size();
        for (const Entry& e : places) {
            EXPECT_TRUE(difference.match(QString::fromLatin1(e.rec.postcode.c_str())).hasMatch())
                << qv::gbk::toQString(e.rec.name).toStdString() << " " << e.rec.postcode;
            EXPECT_EQ(e.rec.areaCode.compare(0, 2, "00"), 0) << e.rec.areaCode;
            EXPECT_GE(e.rec.areaCode.size(), 3u);
        }
    }
    EXPECT_EQ(total, csvRows("abroad.csv").size());

    struct Known {
        const char* name;
        const char* area;
        const char* diff;
    };
    for (const Known& k : {Known{"美国", "001", "-13"}, Known{"英国", "0044", "-8"}, Known{"日本", "0081", "+1"},
                           Known{"新加坡", "0065", "0"}, Known{"尼泊尔", "00977", "-2.25"}}) {
        const std::vector<Entry> e = entriesNamed(k.name);
        ASSERT_EQ(e.size(), 1u) << k.name;
        EXPECT_EQ(e[0].rec.areaCode, k.area) << k.name;
        EXPECT_EQ(e[0].rec.postcode, k.diff) << k.name;
    }
}

TEST_F(BundledDatabase, SearchByInitialsFindsLevelTwoCharacters)
{
    QueryOptions byInitials;
    byInitials.byName = byInitials.byPostcode = byInitials.byAreaCode = false;
    auto names = [&](const char* query) {
        std::set<std::string> out;
        const EntryRowSet set = searchEntries(db(), query, byInitials);
        for (const EntryRow& row : set.rows)
            out.insert(std::string(row.nameText()));
        return out;
    };
    EXPECT_TRUE(names("bz").count(gb("亳州市")));
    EXPECT_TRUE(names("BZS").count(gb("亳州市")));
    EXPECT_TRUE(names("py").count(gb("濮阳市")));
    EXPECT_TRUE(names("py").count(gb("濮阳县")));
    EXPECT_TRUE(names("hjq").count(gb("邗江区")));
    EXPECT_TRUE(names("qwx").count(gb("犍为县")));
    EXPECT_TRUE(names("sz").count(gb("深圳市")));

    byInitials.exact = true;
    byInitials.fuzzy = false;
    const EntryRowSet exact = searchEntries(db(), "BZS", byInitials);
    bool bozhou = false;
    for (const EntryRow& row : exact.rows) {
        // Three characters, each with B, Z and S among its range letter and its readings.
        const std::string_view name = row.nameText();
        ASSERT_EQ(name.size(), 6u);
        for (size_t i = 0; i < 3; ++i) {
            const auto lead = uint8_t(name[2 * i]), trail = uint8_t(name[2 * i + 1]);
            std::string letters = CharInitial(lead, trail, db().learned);
            for (std::string_view r : charReadings(lead, trail))
                letters += char(r[0] - 'a' + 'A');
            EXPECT_NE(letters.find("BZS"[i]), std::string::npos) << i;
        }
        if (row.nameText() == gb("亳州市")) {
            bozhou = true;
            EXPECT_EQ(exact.directoryText(row), gb("安徽省"));
        }
    }
    EXPECT_TRUE(bozhou);

    QueryOptions byArea;
    byArea.exact = true;
    byArea.fuzzy = false;
    byArea.byName = byArea.byInitials = byArea.byPostcode = false;
    const EntryRowSet sz = searchEntries(db(), "0755", byArea);
    ASSERT_FALSE(sz.rows.empty());
    EXPECT_EQ(sz.rows[0].nameText(), gb("深圳市"));
}

TEST(BundledDatabaseBuild, SameInputGivesTheSameBytes)
{
    const QString binDir = envDir("QV_BINARY_DIR");
    const QString srcDir = envDir("QV_SOURCE_DIR");
    ASSERT_FALSE(binDir.isEmpty() || srcDir.isEmpty()) << "QV_BINARY_DIR and QV_SOURCE_DIR must be set";
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString out = tmp.filePath(QStringLiteral("kvrn.dat"));
    QProcess builder;
    builder.start(binDir + QStringLiteral("/qv-builddb"), {srcDir + QStringLiteral("/data"), out});
    ASSERT_TRUE(builder.waitForFinished(120000)) << builder.errorString().toStdString();
    ASSERT_EQ(builder.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(builder.exitCode(), 0) << builder.readAllStandardError().toStdString();
    const QByteArray rebuilt = qvtest::readFile(out);
    ASSERT_FALSE(rebuilt.isEmpty());
    EXPECT_TRUE(rebuilt == qvtest::readFile(bundledPath()));
}

// The copy a user made of the previous bundle, where 盘州市 had no postcode,
// takes the correction through 更新数据, and the user's own edits stay.
TEST(BundledDatabaseUpdate, TheCorrectionReachesAnEditedCopy)
{
    Database base, ours, theirs;
    ASSERT_TRUE(theirs.load(bundledPath()).ok());
    ASSERT_TRUE(base.load(bundledPath()).ok());
    ASSERT_TRUE(ours.load(bundledPath()).ok());
    auto setPostcode = [](Database& db, const char* name, const char* post) {
        int32_t at = -1;
        db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
            if (EntryRecord::decode(rec).name == gb(name))
                at = pos;
        });
        ASSERT_GE(at, 0) << name;
        EntryRecord rec = db.image.readEntry(at);
        rec.postcode = post;
        rec.encodeInto(db.image.entryAt(at));
    };
    setPostcode(base, "盘州市", "");
    setPostcode(ours, "盘州市", "");
    setPostcode(ours, "深圳市", "518001");  // the user's own edit
    UpdatePlan plan = planUpdate(&base, ours, theirs);
    ASSERT_EQ(plan.changes.size(), 1u);
    EXPECT_EQ(plan.changes[0].outcome, UpstreamChange::Apply);
    EXPECT_EQ(pathText(plan.changes[0].path), QStringLiteral("贵州省 / 六盘水市"));
    EXPECT_EQ(applyUpdate(ours, theirs, plan).changed, 1);
    std::map<std::string, std::string> post;
    ours.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const EntryRecord r = EntryRecord::decode(rec);
        post[r.name] = r.postcode;
    });
    EXPECT_EQ(post[gb("盘州市")], "553537");
    EXPECT_EQ(post[gb("深圳市")], "518001");

    // A copy made before the bundle was recorded: both differences are
    // offered, neither taken unless the user says so.
    Database old;
    ASSERT_TRUE(old.load(bundledPath()).ok());
    setPostcode(old, "盘州市", "");
    setPostcode(old, "深圳市", "518001");
    const UpdatePlan unknown = planUpdate(nullptr, old, theirs);
    EXPECT_EQ(unknown.changes.size(), 2u);
    EXPECT_EQ(unknown.count(UpstreamChange::Conflict), 2);
}
