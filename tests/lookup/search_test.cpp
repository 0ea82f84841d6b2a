#include "lookup/Search.h"
#include "store/Database.h"
#include "TestImages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace qv;
using qvtest::gbk;
using qvtest::ImageBuilder;

namespace {

// Query options with one mode and the given fields on.
enum Field { kName = 1, kInitials = 2, kPostcode = 4, kAreaCode = 8, kAll = 15 };
QueryOptions fuzzyBy(int fields)
{
    QueryOptions o;
    o.exact = false;
    o.fuzzy = true;
    o.byName = fields & kName;
    o.byInitials = fields & kInitials;
    o.byPostcode = fields & kPostcode;
    o.byAreaCode = fields & kAreaCode;
    return o;
}
QueryOptions exactBy(int fields)
{
    QueryOptions o = fuzzyBy(fields);
    o.exact = true;
    o.fuzzy = false;
    return o;
}

// 北京 (1) with 海淀 (2) below it, 上海 (3); NextDirectoryId 6, so that ids 5
// and 6 are free slots without a directory. 亳 (D9 F1, GB2312 level 2) is
// learned as B.
struct Place {
    std::string name;
    int32_t owner;
    std::string post;
    std::string area;
};

std::vector<Place> places()
{
    return {
        {gbk("北京"), 1, "100000", "010"},
        {gbk("北京市"), 1, "100001", "010"},
        {gbk("北京 西城"), 2, "100032", "010"},   // 北京, a blank, 西城
        {gbk("海淀北路"), 2, "100080", "010"},
        {gbk("东北"), 3, "200001", "021"},
        {gbk("上海"), 3, "200000", "021"},
        {gbk("5号路"), 3, "201001", "021"},
        {"\xB0\xB1\xB1\xA1", 3, "200002", "021"},  // 氨薄: B1 B1 only across the boundary
        {"\xB0\xB1\xB1\xB1", 3, "200003", "021"},  // 氨北: across, and again on a boundary
        {gbk("北海"), -3, "536000", "0779"},       // deleted
        {gbk("北仑"), 0, "315800", "0574"},        // owner 0: live, no directory
        {gbk("北碚"), 5, "400700", "023"},         // directory gone
        {gbk("北戴河"), 99, "066100", "0335"},     // owner above NextDirectoryId
        {gbk("亳州"), 3, "236800", "0558"},
        {gbk("东　京"), 3, "", "81"},              // full-width blank A1 A1
    };
}

ImageBuilder searchImage(int32_t nextId = 6, bool learnBo = true)
{
    ImageBuilder b;
    b.dir(gbk("北京"), 0, 1).dir(gbk("海淀"), 1, 2).dir(gbk("上海"), 0, 3).end(nextId);
    if (learnBo)
        b.learnedCount(1).learned(0xD9, 0xF1, 'B');
    else
        b.learnedCount(0);
    for (const Place& p : places())
        b.entry(p.name, p.owner, p.post, p.area);
    return b;
}

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override { db.loadImage(searchImage().bytes); }

    std::vector<std::string> found(std::string_view query, const QueryOptions& options) const
    {
        std::vector<std::string> out;
        for (const EntryRow& r : searchEntries(db, query, options).rows)
            out.emplace_back(r.nameText());
        return out;
    }
    // Names of places() by index, in image order as the search gives them.
    static std::vector<std::string> at(std::initializer_list<int> indices)
    {
        const std::vector<Place> all = places();
        std::vector<std::string> out;
        for (int i : indices)
            out.push_back(all[size_t(i)].name);
        return out;
    }

    Database db;
};

// ---- fields and modes ----

TEST_F(SearchTest, FuzzyNameFindsNamesContainingTheCharacter)
{
    // Not 氨薄 (7), whose bytes hold 北 only across its two characters.
    EXPECT_EQ(found(gbk("北"), fuzzyBy(kName)), at({0, 1, 2, 3, 4, 8, 10, 11, 12}));
}

TEST(NameContainsAtBoundary, RunsInsideACharacterDoNotCount)
{
    const std::string bei = gbk("北");
    EXPECT_FALSE(nameContainsAtBoundary("\xB0\xB1\xB1\xA1", bei));
    EXPECT_TRUE(nameContainsAtBoundary("\xB0\xB1\xB1\xB1", bei));  // the scan goes on past the false start
    EXPECT_TRUE(nameContainsAtBoundary("a" + bei, bei));           // one-byte characters shift the boundaries
    EXPECT_FALSE(nameContainsAtBoundary("\xB0\xB1\xB1", bei));      // a lead byte cut off at the end
    EXPECT_TRUE(nameContainsAtBoundary("\xB0\xB1" + bei + "\xA1", bei));
    EXPECT_TRUE(nameContainsAtBoundary(bei, bei));
    EXPECT_FALSE(nameContainsAtBoundary(gbk("北"), gbk("北京")));
    EXPECT_TRUE(nameContainsAtBoundary("x-y", "-"));
}

TEST_F(SearchTest, InitialsMatchUpperCasedQuery)
{
    // Initials: BJ, BJS, BJVXC.
    EXPECT_EQ(found("bj", fuzzyBy(kInitials)), at({0, 1, 2}));
    EXPECT_EQ(found("bJ", exactBy(kInitials)), at({0}));
    EXPECT_EQ(found("BJS", exactBy(kInitials)), at({1}));
}

TEST_F(SearchTest, TrailingBlankIsPartOfTheQuery)
{
    const std::string query = gbk("北京") + " ";
    EXPECT_TRUE(found(query, exactBy(kName)).empty());
    EXPECT_EQ(found(query, fuzzyBy(kName)), at({2}));
}

TEST_F(SearchTest, ExactNameNeedsTheWholeName)
{
    EXPECT_EQ(found(gbk("北京"), exactBy(kName)), at({0}));
    EXPECT_TRUE(found(gbk("北"), exactBy(kName)).empty());
}

TEST_F(SearchTest, OneByteCharactersGiveV)
{
    EXPECT_EQ(found("v", fuzzyBy(kInitials)), at({2, 6}));
}

TEST_F(SearchTest, PostcodeAndAreaCode)
{
    EXPECT_EQ(found("00", fuzzyBy(kPostcode)), at({0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13}));
    EXPECT_EQ(found("200000", exactBy(kPostcode)), at({5}));
    EXPECT_EQ(found("20000", exactBy(kPostcode)), std::vector<std::string>{});
    EXPECT_EQ(found("0558", exactBy(kAreaCode)), at({13}));
    EXPECT_EQ(found("55", fuzzyBy(kAreaCode)), at({13}));
    EXPECT_EQ(found("02", fuzzyBy(kAreaCode)).size(), 6u);  // 021 five times, 023
}

TEST_F(SearchTest, NameIsCaseSensitiveButInitialsAreNot)
{
    db.loadImage(ImageBuilder()
                     .dir("D", 0, 1)
                     .end(1)
                     .learnedCount(0)
                     .entry("Abc", 1, "", "")
                     .entry("VVV", 1, "", "")
                     .bytes);
    EXPECT_TRUE(found("abc", fuzzyBy(kName)).empty());
    EXPECT_EQ(found("Abc", exactBy(kName)), std::vector<std::string>({"Abc"}));
    EXPECT_EQ(found("vvv", exactBy(kInitials)), (std::vector<std::string>{"Abc", "VVV"}));
}

TEST_F(SearchTest, FieldsCombineAndEachEntryIsListedOnce)
{
    // Every live entry but 东　京 (empty postcode, area code 81) has a 0 somewhere.
    EXPECT_EQ(found("0", fuzzyBy(kPostcode | kAreaCode)), at({0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13}));
    EXPECT_TRUE(found("0", fuzzyBy(kName | kInitials)).empty());
    // 北京 passes by postcode and area code alike, and is still listed once.
    EXPECT_EQ(found("0", fuzzyBy(kAll)), at({0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13}));
    EXPECT_EQ(found(gbk("北京"), fuzzyBy(kAll)), at({0, 1, 2}));
}

// ---- blank queries ----

TEST(IsBlankQuery, OnlyBytesUpToSpaceAreBlank)
{
    for (std::string q : {std::string(), std::string(" "), std::string("   "), std::string("\t\r\n"),
                          std::string("\x01\x1F\x20", 3), std::string(1, '\0')})
        EXPECT_TRUE(isBlankQuery(q)) << "query of " << q.size() << " bytes";
    for (std::string q : {std::string("\xA1\xA1"), std::string(" a "), std::string("!"), std::string("\x80"),
                          std::string(" \xFF")})
        EXPECT_FALSE(isBlankQuery(q)) << q;
}

TEST_F(SearchTest, FullWidthBlankIsSearchedFor)
{
    const std::string blank = "\xA1\xA1";
    ASSERT_EQ(gbk("　"), blank);
    EXPECT_FALSE(isBlankQuery(blank));
    EXPECT_EQ(found(blank, fuzzyBy(kAll)), at({14}));
}

// ---- switches ----

TEST_F(SearchTest, NoFieldOrNoModeListsNothing)
{
    QueryOptions neither = fuzzyBy(kAll);
    neither.fuzzy = false;
    for (const std::string& q : {gbk("北"), std::string("0"), std::string("b")}) {
        EXPECT_TRUE(found(q, fuzzyBy(0)).empty());
        EXPECT_TRUE(found(q, exactBy(0)).empty());
        EXPECT_TRUE(found(q, neither).empty());
        EXPECT_FALSE(found(q, fuzzyBy(kAll)).empty());  // the query itself does find something
    }
}

// ---- which entries, and their rows ----

TEST_F(SearchTest, DeletedEntriesAreNeverFound)
{
    const std::string deleted = gbk("北海");
    for (const std::string& q : {deleted, std::string("BH"), std::string("536000"), std::string("0779"), std::string("")})
        for (const QueryOptions& o : {fuzzyBy(kAll), exactBy(kAll)}) {
            const auto names = found(q, o);
            EXPECT_EQ(std::count(names.begin(), names.end(), deleted), 0) << q;
        }
    EXPECT_EQ(found("", fuzzyBy(kName)).size(), 14u);  // the empty query passes every live entry
}

TEST_F(SearchTest, RowsCarryPositionsAndDirectoryNames)
{
    const EntryRowSet set = searchEntries(db, "", fuzzyBy(kName));
    const std::map<int32_t, std::string> dirs = {{1, gbk("北京")}, {2, gbk("海淀")}, {3, gbk("上海")}};
    const std::vector<Place> all = places();
    const int32_t start = db.image.entrySectionStart();
    size_t row = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].owner < 0)
            continue;
        ASSERT_LT(row, set.rows.size());
        const EntryRow& r = set.rows[row++];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.position, start + int32_t(i) * kEntryRecordSize);  // image order
        EXPECT_EQ(r.nameText(), all[i].name);
        EXPECT_EQ(r.areaText(), all[i].area);
        EXPECT_EQ(r.postText(), all[i].post);
        auto dir = dirs.find(all[i].owner);
        // Owner 0, a vanished directory and an id above the counter show no directory.
        EXPECT_EQ(set.directoryText(r), dir == dirs.end() ? std::string() : dir->second);
    }
    EXPECT_EQ(row, set.rows.size());
}

TEST_F(SearchTest, RenamedAndMovedDirectoriesShowTheirCurrentCaption)
{
    DirectoryNode* haidian = db.tree.findById(2);
    ASSERT_NE(haidian, nullptr);
    haidian->caption = gbk("海淀区");
    const EntryRowSet set = searchEntries(db, gbk("北京 "), fuzzyBy(kName));
    ASSERT_EQ(set.rows.size(), 1u);
    EXPECT_EQ(set.directoryText(set.rows[0]), gbk("海淀区"));
}

TEST_F(SearchTest, LaterDirectoryWithTheSameIdNamesTheEntry)
{
    // Ids are unique in a file this program wrote; in another one, the
    // directory that comes later in the tree names the entry.
    db.loadImage(ImageBuilder()
                     .dir("First", 0, 1)
                     .dir("Second", 1, 1)
                     .end(1)
                     .learnedCount(0)
                     .entry("x", 1, "", "")
                     .bytes);
    const EntryRowSet set = searchEntries(db, "x", fuzzyBy(kName));
    ASSERT_EQ(set.rows.size(), 1u);
    EXPECT_EQ(set.directoryText(set.rows[0]), "Second");
}

TEST(SearchHugeCounter, FileWithTopIdCounterIsSearchedWithoutATablePerId)
{
    // A counter at the top of the id range must not cost memory per id.
    QTemporaryDir dir;
    const QString path = dir.filePath("kvrn.dat");
    ImageBuilder b;
    b.dir("Top", 0, INT32_MAX - 1).end(INT32_MAX).learnedCount(0);
    b.entry("in-top", INT32_MAX - 1, "1", "1").entry("at-max", INT32_MAX, "2", "2").entry("low", 7, "3", "3");
    ASSERT_TRUE(qvtest::writeFile(path, qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(path).ok());
    ASSERT_EQ(db.tree.NextDirectoryId(), INT32_MAX);
    const EntryRowSet set = searchEntries(db, "", fuzzyBy(kName));
    ASSERT_EQ(set.rows.size(), 3u);
    EXPECT_EQ(set.directoryText(set.rows[0]), "Top");
    EXPECT_EQ(set.directoryText(set.rows[1]), "");
    EXPECT_EQ(set.directoryText(set.rows[2]), "");
}

// ---- learned initials ----

TEST(SearchLearnedInitials, LearnedLetterTakesPart)
{
    // 亳 lies outside the ranges; its reading bo gives B with or without a
    // learned letter, and a learned letter counts as one more reading.
    const std::string bozhou = gbk("亳州");
    ASSERT_EQ(bozhou.substr(0, 2), "\xD9\xF1");
    for (char letter : {'\0', 'B', 'Q'}) {
        ImageBuilder b;
        b.dir(gbk("北京"), 0, 1).end(6);
        if (letter)
            b.learnedCount(1).learned(0xD9, 0xF1, letter);
        else
            b.learnedCount(0);
        b.entry(bozhou, 1, "236800", "0558");
        Database db;
        db.loadImage(b.bytes);
        for (const char* query : {"bz", "qz"}) {
            const size_t want = query[0] == 'b' || letter == 'Q' ? 1u : 0u;
            EXPECT_EQ(searchEntries(db, query, fuzzyBy(kInitials)).rows.size(), want) << query << letter;
            EXPECT_EQ(searchEntries(db, query, exactBy(kInitials)).rows.size(), want) << query << letter;
        }
    }
}

}  // namespace

// ---- ways of typing, order by relevance, directories ----

TEST(TypedQueryForm, ReadsWhatInputMethodsType)
{
    const struct {
        const char* typed;
        const char* read;
    } cases[] = {
        {"ｘｉａｍｅｎ", "xiamen"}, {"０５９２", "0592"},      {"xi’an", "xi'an"},       {"xi＇an", "xi'an"},
        {"xi-an", "xi an"},         {"xi－an", "xi an"},       {"bei　jing", "bei jing"}, {"xià mén", "xia men"},
        {"xia4men2", "xiamen"},     {"XIA4 MEN2", "XIA MEN"},  {"lüliang", "lvliang"},    {"nǚ", "nv"},  
        {"lǘ", "lv"},               {"p1", "p1"},              {"a12", "a12"},            {"0755", "0755"},
        {"北京", "北京"},           {"深zhen", "深zhen"},      {"xi'an", "xi'an"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(typedQueryForm(gbk(c.typed)), gbk(c.read)) << c.typed;
}

TEST_F(SearchTest, EveryCommonWayOfTypingFindsThePlace)
{
    const std::vector<std::string> beijing = at({0, 1, 2});
    const struct {
        const char* query;
        int fields;
        std::vector<std::string> names;
    } cases[] = {
        {"beijing", kInitials, beijing},   {"ｂｅｉｊｉｎｇ", kInitials, beijing}, {"bei　jing", kInitials, beijing},
        {"bei’jing", kInitials, beijing},  {"bei＇jing", kInitials, beijing},    {"bei-jing", kInitials, beijing},
        {"běi jīng", kInitials, beijing},  {"bei3jing1", kInitials, beijing},    {"北jing", kInitials, beijing},
        {"bei京", kInitials, beijing},     {"BEI京", kInitials, beijing},        {"北jing", kName, {}},
        {"０１０", kAreaCode, at({0, 1, 2, 3})},
        // An unfinished first syllable: 北 (bei) and 碚 (bei), never 薄 (bo).
        {"be", kInitials, at({0, 1, 2, 3, 4, 8, 10, 11, 12})},
        {"haiding", kInitials, {}},        {"bo", kInitials, at({7, 13})},       {"bozh", kInitials, at({13})},
        {"bei3", kInitials, at({0, 1, 2, 3, 4, 8, 10, 11, 12})},
        {"bei34", kInitials, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(found(gbk(c.query), fuzzyBy(c.fields)), c.names) << c.query;
}

TEST_F(SearchTest, RelevancePutsTheWholeNameFirst)
{
    const struct {
        const char* query;
        int fields;
        std::vector<std::string> names;
    } cases[] = {
        // The name equal to its directory's, the city, then a name that begins so.
        {"beijing", kAll, at({0, 1, 2})},
        {"bj", kInitials, at({0, 1, 2})},
        // Whole names, then beginnings, then later matches; shorter first.
        {"北", kName, at({0, 1, 11, 10, 12, 2, 4, 8, 3})},
        // Seats first (a name equal to its directory's), then by length and area code.
        {"0", kAreaCode, at({0, 5, 1, 4, 7, 8, 11, 13, 10, 6, 12, 3, 2})},
    };
    for (const auto& c : cases) {
        EntryRowSet set = searchEntries(db, gbk(c.query), fuzzyBy(c.fields));
        rankEntryRows(db, set, gbk(c.query), fuzzyBy(c.fields));
        std::vector<std::string> names;
        for (const EntryRow& r : set.rows)
            names.emplace_back(r.nameText());
        EXPECT_EQ(names, c.names) << c.query;
    }
}

TEST(Relevance, LongNamesAndOwnTextsRankByTheirKindOfPlace)
{
    // Captions longer than sixteen bytes, a capital (a province's first
    // city), a name equal to its own directory's, "…市" in a top-level
    // directory and below one; every row begins with the query (area codes).
    ImageBuilder b;
    b.dir(gbk("新疆维吾尔自治区"), 0, 1)
        .dir(gbk("克孜勒苏柯尔克孜自治州"), 1, 2)
        .dir(gbk("伊犁哈萨克自治州"), 1, 3)
        .dir(gbk("天津市"), 0, 4)
        .end(5)
        .learnedCount(0);
    for (const auto& [name, owner] : std::vector<std::pair<const char*, int32_t>>{{"阿合奇县", 2},
                                                                               {"伊犁哈萨克自治州", 1},
                                                                               {"阿图什市", 2},
                                                                               {"和平市", 4},
                                                                               {"克孜勒苏柯尔克孜自治州", 1},
                                                                               {"天津市", 4}})
        b.entry(gbk(name), owner, "845350", "0908");
    Database db;
    db.loadImage(b.bytes);
    const struct {
        int ownTextsAt;  // the search's row given 天津市 as texts of its own, or -1
        std::vector<const char*> names;
    } cases[] = {
        {-1, {"天津市", "克孜勒苏柯尔克孜自治州", "和平市", "伊犁哈萨克自治州", "阿图什市", "阿合奇县"}},
        // 阿合奇县's row, named 天津市 below a city: "…市" not in a top-level directory.
        {0, {"天津市", "克孜勒苏柯尔克孜自治州", "和平市", "伊犁哈萨克自治州", "天津市", "阿图什市"}},
    };
    for (const auto& c : cases) {
        EntryRowSet set = searchEntries(db, "0", fuzzyBy(kAreaCode));
        if (c.ownTextsAt >= 0)
            set.rows.setTexts(size_t(c.ownTextsAt), gbk("天津市"), "0908", "845350");
        rankEntryRows(db, set, "0", fuzzyBy(kAreaCode));
        std::vector<std::string> names, want;
        for (const EntryRow& r : set.rows)
            names.emplace_back(r.nameText());
        for (const char* n : c.names)
            want.push_back(gbk(n));
        EXPECT_EQ(names, want) << c.ownTextsAt;
    }
}

TEST_F(SearchTest, DirectoriesAreFoundByNameAndPinyin)
{
    const struct {
        const char* query;
        QueryOptions options;
        std::vector<std::string> captions;
    } cases[] = {
        {"北京", fuzzyBy(kAll), {gbk("北京")}},
        {"beijing", fuzzyBy(kInitials), {gbk("北京")}},
        {"ｓｈａｎｇｈａｉ", fuzzyBy(kAll), {gbk("上海")}},
        {"hd", fuzzyBy(kAll), {gbk("海淀")}},
        {"海", fuzzyBy(kName), {gbk("海淀"), gbk("上海")}},
        {"hai", fuzzyBy(kAll), {gbk("海淀")}},  // pinyin begins the caption
        {"北京", fuzzyBy(kPostcode | kAreaCode), {}},
        {"北", exactBy(kAll), {}},
        {"shanghai", exactBy(kAll), {gbk("上海")}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> captions;
        for (const DirectoryNode* n : searchDirectories(db, gbk(c.query), c.options))
            captions.push_back(n->caption);
        EXPECT_EQ(captions, c.captions) << c.query;
    }
}
