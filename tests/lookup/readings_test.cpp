#include "TestImages.h"
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace qv;
std::string gb(const char* utf8) { return qvtest::gbk(utf8); }
using qvtest::ImageBuilder;

namespace {

QueryOptions initialsOnly(bool exact)
{
    QueryOptions o;
    o.exact = exact;
    o.fuzzy = !exact;
    o.byName = o.byPostcode = o.byAreaCode = false;
    return o;
}

// Place names across the provinces with the syllables people use for them,
// many of them read otherwise than the first reading of a character.
struct Place {
    const char* name;
    const char* syllables;  // blank-separated
};
const Place kPlaces[] = {
    {"厦门", "xia men"},
    {"重庆", "chong qing"},
    {"长沙", "chang sha"},
    {"蚌埠", "beng bu"},
    {"六安", "lu an"},
    {"乐清", "yue qing"},
    {"番禺", "pan yu"},
    {"丽水", "li shui"},
    {"台州", "tai zhou"},
    {"莘县", "shen xian"},
    {"铅山", "yan shan"},
    {"单县", "shan xian"},
    {"涡阳", "guo yang"},
    {"尉犁", "yu li"},
    {"浚县", "xun xian"},
    {"洪洞", "hong tong"},
    {"东阿", "dong e"},
    {"蔚县", "yu xian"},
    {"亳州", "bo zhou"},
    {"黄陂", "huang pi"},
    {"北京", "bei jing"},
    {"上海", "shang hai"},
    {"深圳", "shen zhen"},
    {"广州", "guang zhou"},
    {"西安", "xi an"},
    {"成都", "cheng du"},
    {"拉萨", "la sa"},
    {"乌鲁木齐", "wu lu mu qi"},
    {"呼和浩特", "hu he hao te"},
    {"哈尔滨", "ha er bin"},
    {"沈阳", "shen yang"},
    {"石家庄", "shi jia zhuang"},
    {"郑州", "zheng zhou"},
    {"南京", "nan jing"},
    {"合肥", "he fei"},
    {"南昌", "nan chang"},
    {"贵阳", "gui yang"},
    {"昆明", "kun ming"},
    {"兰州", "lan zhou"},
    {"银川", "yin chuan"},
    {"吕梁", "lv liang"},
    {"枞阳", "zong yang"},
    {"筠连", "jun lian"},
    {"歙县", "she xian"},
    {"蠡县", "li xian"},
    {"大埔", "da bu"},
    {"阆中", "lang zhong"},
    {"香港", "xiang gang"},
    {"单城镇", "shan cheng zhen"},
    {"朝阳", "chao yang"},
    {"会稽山", "kuai ji shan"},
    {"蓟州", "ji zhou"},
    // Official readings of place names that the characters lack elsewhere.
    {"乐亭", "lao ting"},
    {"宕昌", "tan chang"},
    {"六合", "lu he"},
    {"召陵", "shao ling"},
    {"泌阳", "bi yang"},
    {"湾仔", "wan zai"},
    {"喀什", "ka shi"},
    {"佛山", "fo shan"},
    {"西藏", "xi zang"},
    {"库尔勒", "ku er le"},
    {"吴堡", "wu bu"},
};

class PlaceNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImageBuilder b;
        b.dir(gb("各地"), 0, 1).end(1).learnedCount(0);
        for (const Place& p : kPlaces)
            b.entry(gb(p.name), 1, "100000", "010");
        db.loadImage(b.bytes);
    }
    std::set<std::string> found(const std::string& query, bool exact) const
    {
        std::set<std::string> names;
        for (const EntryRow& r : searchEntries(db, query, initialsOnly(exact)).rows)
            names.insert(std::string(r.nameText()));
        return names;
    }
    Database db;
};

std::vector<std::string> words(const char* syllables)
{
    std::vector<std::string> out(1);
    for (const char* c = syllables; *c; ++c)
        if (*c == ' ')
            out.emplace_back();
        else
            out.back() += *c;
    return out;
}

TEST_F(PlaceNames, InitialsAndFullPinyinFindEachPlace)
{
    for (const Place& p : kPlaces) {
        const std::string name = gb(p.name);
        const std::vector<std::string> syl = words(p.syllables);
        std::string initials, joined, spaced, quoted;
        for (size_t i = 0; i < syl.size(); ++i) {
            initials += syl[i][0];
            joined += syl[i];
            spaced += (i ? " " : "") + syl[i];
            quoted += (i ? "'" : "") + syl[i];
        }
        std::string upperSpaced = spaced;
        for (char& c : upperSpaced)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        // The last syllable cut short, and ü typed as u.
        const std::string cut = joined.substr(0, joined.size() - 1);
        std::string withU = joined;
        for (char& c : withU)
            c = c == 'v' ? 'u' : c;
        for (const std::string& q : {initials, joined, spaced, quoted, upperSpaced, withU}) {
            EXPECT_TRUE(found(q, false).count(name)) << p.name << " fuzzy " << q;
            EXPECT_TRUE(found(q, true).count(name)) << p.name << " exact " << q;
        }
        if (syl.back().size() > 1) {
            EXPECT_TRUE(found(cut, true).count(name)) << p.name << " cut " << cut;
        }
        // The tail of the pinyin from the second syllable on is a fuzzy match only.
        const std::string tail = joined.substr(syl[0].size());
        if (syl.size() > 1 && tail.size() >= 2) {
            EXPECT_TRUE(found(tail, false).count(name)) << p.name << " tail " << tail;
            EXPECT_FALSE(found(tail, true).count(name)) << p.name << " exact tail " << tail;
        }
    }
}

TEST_F(PlaceNames, FullPinyinStartsAtASyllable)
{
    struct Case {
        const char* query;
        bool exact;
        std::set<std::string> names;
    };
    const Case cases[] = {
        {"iamen", false, {}},                       // inside 厦's syllable
        {"xiam", false, {gb("厦门")}},              // the last syllable cut short
        {"xiamenx", false, {}},                     // longer than the name
        {"beijin", true, {gb("北京")}},             //
        {"bei jing shi", false, {}},                //
        {"xi'an", false, {gb("西安")}},             // 县 is xian, one syllable
        {"be ijing", false, {}},                    // a blank inside a syllable
        {"huangpi", false, {gb("黄陂")}},           //
        {"jing", false, {gb("北京"), gb("南京")}},  //
        {"xian", true, {gb("西安")}},               // xi'an, not 县 alone
        {"shanxian", true, {gb("单县")}},           //
        {"zhou", true, {}},                         // exact: every character
        {"bj", true, {gb("北京")}},                 // initials only
        {"xm", false, {gb("厦门")}},                //
        {"cq", false, {gb("重庆")}},                //
    };
    for (const Case& c : cases)
        EXPECT_EQ(found(c.query, c.exact), c.names) << c.query << (c.exact ? " exact" : " fuzzy");
}

TEST(PlaceWords, OfficialReadingsCountOnlyInsideTheWord)
{
    ImageBuilder b;
    b.dir(gb("各地"), 0, 1).end(1).learnedCount(0);
    for (const char* n : {"厦门市", "大厦", "乐亭县", "乐山市", "单县", "简单", "番禺区", "吐鲁番市", "思明区厦门"})
        b.entry(gb(n), 1, "100000", "010");
    Database db;
    db.loadImage(b.bytes);
    struct Case {
        const char* query;
        bool exact;
        std::set<std::string> names;
    };
    const Case cases[] = {
        {"xiamen", false, {"厦门市", "思明区厦门"}},  // the word anywhere in the name
        {"xiamenshi", true, {"厦门市"}},              //
        {"daxia", false, {}},                         // 大厦 is dà shà
        {"dasha", false, {"大厦"}},                   //
        {"lao", false, {"乐亭县"}},                   // not 乐山
        {"laoshan", false, {}},                       //
        {"leshan", false, {"乐山市"}},                //
        {"shanxian", true, {"单县"}},                 //
        {"jianshan", false, {}},                      // 简单 is jiǎn dān
        {"panyu", false, {"番禺区"}},                 //
        {"tulupan", false, {}},                       // 吐鲁番 is Tǔlǔfān
        {"tulufan", false, {"吐鲁番市"}},             //
        {"py", false, {"番禺区"}},                    // initials: the letter counts
    };
    for (const Case& c : cases) {
        std::set<std::string> want, got;
        for (const std::string& n : c.names)
            want.insert(gb(n.c_str()));
        for (const EntryRow& r : searchEntries(db, c.query, initialsOnly(c.exact)).rows)
            got.insert(std::string(r.nameText()));
        EXPECT_EQ(got, want) << c.query << (c.exact ? " exact" : " fuzzy");
    }
}

TEST(PinyinQuery, FullPinyinOnlyWithAWholeSyllable)
{
    // A query of initials only is matched by initials alone, so its rows do not grow.
    for (const char* q : {"bj", "sh", "xm", "cq", "ys", "yx", "zh", "x'm", "BJ", "b"})
        EXPECT_FALSE(PinyinQuery(q, false, {}).spelling()) << q;
    for (const char* q : {"bei", "jing", "xi'an", "bei jing", "XIAMEN", "shenzh", "lv"})
        EXPECT_TRUE(PinyinQuery(q, false, {}).spelling()) << q;
    // Anything but letters, blanks and apostrophes is no pinyin.
    for (const char* q : {"bei1", "bei-jing", "0755"})
        EXPECT_FALSE(PinyinQuery(q, false, {}).spelling()) << q;
}

TEST(PinyinQuery, OneQuerySetUpAnswersForEveryMode)
{
    // The tests in another mode, and the one walk that tells Start and
    // WholeSyllables at once, answer as a query set up in that mode does.
    const char* names[] = {"北京", "北京市", "厦门市", "西安", "西安市", "福州市", "福建", "抚顺县", "复兴区",
                           "乐亭县", "大厦", "黄陂区", "单县", "A市", "市北", "重庆", "长春市"};
    const char* queries[] = {"fu",    "fuzhou", "fuzhoushi", "beijing", "bei", "bj",       "bjs",     "xiamen",
                             "xia",   "xian",   "xi'an",     "laoting", "dasha", "zhon",   "b",       "cq",
                             "zq",    "shanxian", "cc",      "chong",   "shi",  "huangpi", "xiamenshi"};
    for (const char* q : queries) {
        const PinyinQuery whole(q, PinyinMatch::WholeSyllables, {});
        const PinyinQuery start(q, PinyinMatch::Start, {});
        for (const char* n : names) {
            const std::string name = gb(n);
            const bool fromStart = start.matchesSpelling(name), spelled = whole.matchesSpelling(name);
            EXPECT_EQ(whole.matchesSpelling(name, PinyinMatch::Start), fromStart) << q << " " << n;
            EXPECT_EQ(start.matchesSpelling(name, PinyinMatch::WholeSyllables), spelled) << q << " " << n;
            EXPECT_EQ(whole.matchesInitials(name, PinyinMatch::Start), start.matchesInitials(name)) << q << " " << n;
            EXPECT_EQ(whole.spellingFromStart(name), fromStart ? (spelled ? 2 : 1) : 0) << q << " " << n;
        }
    }
    // And what they answer.
    const struct {
        const char* query;
        const char* name;
        int fit;           // spellingFromStart
        bool initialsStart;
    } cases[] = {
        {"beijing", "北京", 2, false}, {"beijing", "北京市", 1, false}, {"fuzhoushi", "福州市", 2, false},
        {"fu", "福州市", 1, false},     {"fu", "复兴区", 1, false},      {"xian", "抚顺县", 0, false},
        {"bj", "北京市", 0, true},      {"bjs", "北京市", 0, true},      {"js", "北京市", 0, false},
    };
    for (const auto& c : cases) {
        const PinyinQuery whole(c.query, PinyinMatch::WholeSyllables, {});
        EXPECT_EQ(whole.spellingFromStart(gb(c.name)), c.fit) << c.query << " " << c.name;
        EXPECT_EQ(whole.matchesInitials(gb(c.name), PinyinMatch::Start), c.initialsStart) << c.query << " " << c.name;
    }
}

TEST(TraditionalQuery, ReadsAsSimplified)
{
    ImageBuilder b;
    b.dir(gb("各地"), 0, 1).end(1).learnedCount(0);
    for (const char* n : {"广州市", "台北市", "郑州市", "乾县", "干县", "复兴区", "仪征市", "湖里区", "游仙区", "卧龙区",
                          "龙岩市", "昆山市", "赤峰市", "岳麓区", "慈溪市", "穆棱市", "启东市", "卫辉市", "巨野县",
                          "呼和浩特市", "群英乡", "台湾省", "温岭市", "铁岭市", "a广州", "乾安县",
                          "abc内蒙古呼和浩特市赛罕区", "x钟"})
        b.entry(gb(n), 1, "100000", "010");
    Database db;
    db.loadImage(b.bytes);
    QueryOptions nameOnly = initialsOnly(false);
    nameOnly.byInitials = false;
    nameOnly.byName = true;
    struct Case {
        const char* query;
        std::set<std::string> names;
        bool exact = false;
    };
    const Case cases[] = {
        {"廣州", {"广州市", "a广州"}},  // after a one-byte character too
        {"臺北", {"台北市"}},
        {"鄭州市", {"郑州市"}}, {"乾县", {"乾县", "干县"}},  // 乾 is 干 or itself; a name is found as typed too
        {"廣東", {}},
        // Taiwan, Hong Kong and older variants, each to its simplified form.
        {"復興", {"复兴区"}}, {"儀徵", {"仪征市"}}, {"湖裡", {"湖里区"}}, {"湖裏", {"湖里区"}},
        {"遊仙", {"游仙区"}}, {"臥龍", {"卧龙区"}}, {"龍巖", {"龙岩市"}}, {"崑山", {"昆山市"}},
        {"赤峯", {"赤峰市"}}, {"嶽麓", {"岳麓区"}}, {"慈谿", {"慈溪市"}}, {"穆稜", {"穆棱市"}},
        {"啓東", {"启东市"}}, {"啟東", {"启东市"}}, {"衞輝", {"卫辉市"}}, {"衛輝", {"卫辉市"}},
        {"鉅野", {"巨野县"}}, {"羣英", {"群英乡"}}, {"臺灣", {"台湾省"}}, {"溫嶺", {"温岭市"}},
        {"鐵嶺市", {"铁岭市"}}, {"呼和浩特", {"呼和浩特市", "abc内蒙古呼和浩特市赛罕区"}},
        {"乾安縣", {"乾安县"}},  // one character kept, one simplified
        {"賽罕區", {"abc内蒙古呼和浩特市赛罕区"}},     // at the end of a full 25-byte name
        {"鍾", {"x钟"}}, {"鐘", {"x钟"}},               // two traditional forms of one character
        {"州", {"广州市", "郑州市", "a广州"}},          // nothing traditional: the name alone
        // Exact: the whole name, each character in one of its forms.
        {"廣州市", {"广州市"}, true}, {"a廣州", {"a广州"}, true},
        {"乾縣", {"乾县", "干县"}, true}, {"廣州", {}, true},
    };
    for (const Case& c : cases) {
        std::set<std::string> want, got;
        for (const std::string& n : c.names)
            want.insert(gb(n.c_str()));
        QueryOptions o = nameOnly;
        o.exact = c.exact;
        o.fuzzy = !c.exact;
        for (const EntryRow& r : searchEntries(db, gb(c.query), o).rows)
            got.insert(std::string(r.nameText()));
        EXPECT_EQ(got, want) << c.query << (c.exact ? " exact" : " fuzzy");
    }
    EXPECT_EQ(simplifiedText(gb("廣州 abc")), gb("广州 abc"));
    EXPECT_EQ(simplifiedText(gb("广州")), gb("广州"));
}

TEST(CharReadings, PolyphonicCharactersHaveEveryReading)
{
    struct Case {
        const char* ch;
        std::vector<std::string> some;
    };
    const Case cases[] = {
        {"重", {"zhong", "chong"}}, {"厦", {"sha"}},                 {"乐", {"le", "yue"}},
        {"绿", {"lv"}},             {"单", {"dan"}},                 {"亳", {"bo"}},
        {"佛", {"fo", "fu"}},       {"藏", {"cang", "zang"}},        {"勒", {"le", "lei"}},
    };
    for (const Case& c : cases) {
        const std::string g = gb(c.ch);
        std::set<std::string> got;
        for (std::string_view r : charReadings(uint8_t(g[0]), uint8_t(g[1])))
            got.insert(std::string(r));
        for (const std::string& r : c.some)
            EXPECT_TRUE(got.count(r)) << c.ch << " " << r;
    }
    EXPECT_TRUE(charReadings(0xA1, 0xA1).empty());  // the full-width blank

    // As the pinyin question shows them: tone marks on the right vowel, ü.
    const std::pair<const char*, const char*> shown[] = {
        {"圳", "zhèn"}, {"绿", "lǜ"}, {"亳", "bó"}, {"亍", "chù"}, {"么", "me"}, {"怀", "huái"}, {"楼", "lóu"},
    };
    for (const auto& [ch, first] : shown) {
        const std::string g = gb(ch);
        const std::vector<std::string> got = charReadingsShown(uint8_t(g[0]), uint8_t(g[1]));
        ASSERT_FALSE(got.empty()) << ch;
        EXPECT_EQ(got.front(), first) << ch;
        EXPECT_EQ(got.size(), charReadings(uint8_t(g[0]), uint8_t(g[1])).size()) << ch;
    }

    // Readings only a historical dictionary gives, lookalikes, surnames and
    // rare words stay out, so that sz does not find 台州, nor fu every "…市".
    const Case historicalOnly[] = {{"台", {"si"}},  {"邓", {"shan"}}, {"儋", {"shan"}}, {"霍", {"suo"}},
                                   {"市", {"fu"}},  {"区", {"ou"}},   {"石", {"dan"}},  {"大", {"dai"}},
                                   {"南", {"na"}},  {"和", {"huo"}},  {"广", {"an"}},   {"红", {"gong"}},
                                   {"单", {"chan"}}, {"绿", {"lu"}},  {"家", {"jie"}},  {"塔", {"da"}},
                                   // official in one place name only: a reading of that word
                                   {"单", {"shan"}}, {"厦", {"xia"}}, {"乐", {"lao"}},  {"番", {"pan"}}};
    for (const Case& c : historicalOnly) {
        const std::string g = gb(c.ch);
        for (std::string_view r : charReadings(uint8_t(g[0]), uint8_t(g[1])))
            EXPECT_NE(std::string(r), c.some[0]) << c.ch;
    }
}

TEST(LearnedLetters, CountAsOneMoreReading)
{
    // A code with no reading: only its learned letter identifies it.
    const uint8_t lead = 0xA1, trail = 0xA2;
    ASSERT_TRUE(charReadings(lead, trail).empty());
    const std::string name = std::string(1, char(lead)) + char(trail) + gb("门");
    for (bool exact : {false, true}) {
        EXPECT_FALSE(PinyinQuery("xm", exact, {}).matches(name));
        const std::vector<LearnedInitial> learned = {LearnedInitial::make(lead, trail, 'X'),
                                                     LearnedInitial::make(lead, trail, 'Q')};
        EXPECT_TRUE(PinyinQuery("xm", exact, learned).matches(name));
        EXPECT_FALSE(PinyinQuery("qm", exact, learned).matches(name));  // a later duplicate is never used
    }
    // A stored record may hold bytes no character has (a lead byte 0xFF):
    // it takes no part, and nothing reads past the tables.
    EXPECT_TRUE(charReadings(0xFF, 0x02).empty());
    for (const char* q : {"xm", "xiamen"}) {
        const std::vector<LearnedInitial> odd = {LearnedInitial::make(0xFF, 0x02, 'X'), LearnedInitial::make(0xFF, 0xFF, 0)};
        EXPECT_EQ(PinyinQuery(q, false, odd).matches(gb("厦门")), PinyinQuery(q, false, {}).matches(gb("厦门"))) << q;
    }
}

}  // namespace
