#include "lookup/Pinyin.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qv;
using qvtest::gbk;

namespace {

const std::vector<LearnedInitial> kNone;

std::string twoBytes(uint16_t code)
{
    return std::string{char(code >> 8), char(code & 0xFF)};
}

uint16_t codeOf(const char* utf8)
{
    const std::string b = gbk(utf8);
    EXPECT_EQ(b.size(), 2u) << utf8;
    return uint16_t(uint8_t(b[0]) << 8 | uint8_t(b[1]));
}

std::string initialOf(const char* utf8, const std::vector<LearnedInitial>& learned = kNone)
{
    const uint16_t c = codeOf(utf8);
    return CharInitial(uint8_t(c >> 8), uint8_t(c & 0xFF), learned);
}

LearnedInitial learnedFor(const char* utf8, char letter)
{
    const uint16_t c = codeOf(utf8);
    return LearnedInitial::make(uint8_t(c >> 8), uint8_t(c & 0xFF), letter);
}

const std::string kNoLetter(1, '\0');

}  // namespace

TEST(NameInitials, PlaceNames)
{
    EXPECT_EQ(NameInitials(gbk("北京"), kNone), "BJ");
    EXPECT_EQ(NameInitials(gbk("上海"), kNone), "SH");
    EXPECT_EQ(NameInitials(gbk("重庆"), kNone), "ZQ");  // 重 0xD6D8 lies in the Z range
    EXPECT_EQ(NameInitials(gbk("乌鲁木齐市"), kNone), "WLMQS");
    EXPECT_EQ(NameInitials("", kNone), "");
}

TEST(NameInitials, OneByteCharactersGiveV)
{
    EXPECT_EQ(NameInitials("New York", kNone), "VVVVVVVV");
    EXPECT_EQ(NameInitials(gbk("A区3号"), kNone), "VQVH");
    // A lead byte with nothing after it counts as one byte.
    EXPECT_EQ(NameInitials(gbk("北") + "\xB1", kNone), "BV");
}

TEST(NameInitials, UnknownCharacterLeavesNoLetterMarkInPlace)
{
    EXPECT_EQ(NameInitials(gbk("北亍"), kNone), std::string("B\0", 2));
    EXPECT_EQ(NameInitials(gbk("亍北亍"), kNone), std::string("\0B\0", 3));
    EXPECT_EQ(NameInitials(gbk("亳州"), kNone), std::string("\0Z", 2));
    EXPECT_EQ(NameInitials(gbk("亳州"), {learnedFor("亳", 'B')}), "BZ");
}

TEST(CharInitial, RangeBounds)
{
    EXPECT_EQ(codeOf("啊"), 0xB0A1);
    EXPECT_EQ(initialOf("啊"), "A");
    EXPECT_EQ(CharInitial(0xB0, 0xA0, kNone), kNoLetter);  // just below the first range
    EXPECT_EQ(codeOf("座"), 0xD7F9);
    EXPECT_EQ(initialOf("座"), "Z");
    EXPECT_EQ(codeOf("亍"), 0xD8A1);
    EXPECT_EQ(initialOf("亍"), kNoLetter);
    EXPECT_EQ(CharInitial(0xD7, 0xFA, kNone), kNoLetter);  // unassigned code after 座
    EXPECT_EQ(initialOf("学"), "X");
    EXPECT_EQ(initialOf("迅"), "X");
    EXPECT_EQ(codeOf("迅"), 0xD1B8);
    EXPECT_EQ(initialOf("压"), "Y");
    EXPECT_EQ(codeOf("压"), 0xD1B9);
}

TEST(CharInitial, EachLetterStartsAtItsFirstCharacter)
{
    // The first character of every letter in GB2312's pinyin order; the code
    // just before it still belongs to the previous letter.
    struct Start {
        const char* ch;
        char letter;
    };
    const Start starts[] = {{"啊", 'A'}, {"芭", 'B'}, {"擦", 'C'}, {"搭", 'D'}, {"蛾", 'E'}, {"发", 'F'},
                            {"噶", 'G'}, {"哈", 'H'}, {"击", 'J'}, {"喀", 'K'}, {"垃", 'L'}, {"妈", 'M'},
                            {"拿", 'N'}, {"哦", 'O'}, {"啪", 'P'}, {"期", 'Q'}, {"然", 'R'}, {"撒", 'S'},
                            {"塌", 'T'}, {"挖", 'W'}, {"昔", 'X'}, {"压", 'Y'}, {"匝", 'Z'}};
    char previous = 0;
    for (const Start& s : starts) {
        const uint16_t code = codeOf(s.ch);
        EXPECT_EQ(rangeInitial(code), s.letter) << s.ch;
        EXPECT_EQ(rangeInitial(uint16_t(code - 1)), previous) << s.ch;
        previous = s.letter;
    }
    // No range gives I, U or V.
    for (uint32_t c = 0; c < 0x10000; ++c) {
        const char letter = rangeInitial(uint16_t(c));
        ASSERT_TRUE(letter != 'I' && letter != 'U' && letter != 'V') << std::hex << c;
    }
}

TEST(CharInitial, ExtensionCodeInsideARangeTakesItsLetter)
{
    // 硚 is a GBK extension character (0xB37E) between two C-range codes: the
    // ranges are numeric, so it reads C whatever its pinyin.
    EXPECT_EQ(codeOf("硚"), 0xB37E);
    EXPECT_EQ(initialOf("硚"), "C");
    EXPECT_EQ(initialOf("硚", {learnedFor("硚", 'Q')}), "C");
}

TEST(CharInitial, LearnedTable)
{
    const std::vector<LearnedInitial> learned = {learnedFor("亳", 'B'), learnedFor("濮", 'P'), learnedFor("亳", 'Q'),
                                                 learnedFor("北", 'X')};
    EXPECT_EQ(initialOf("亳", learned), "B");  // the first record wins
    EXPECT_EQ(initialOf("濮", learned), "P");
    EXPECT_EQ(initialOf("北", learned), "B");  // the ranges come first
    EXPECT_EQ(initialOf("亍", learned), kNoLetter);

    // A record read from a file with no letter gives no contribution.
    LearnedInitial empty = learnedFor("亍", 'Z');
    empty.raw[3] = 0;
    EXPECT_EQ(initialOf("亍", {empty, learnedFor("亍", 'C')}), "");
}

TEST(LearnInitials, AsksOnceAndStoresUpperCase)
{
    std::vector<LearnedInitial> learned;
    std::vector<std::string> asked;
    auto ask = [&](uint8_t lead, uint8_t trail) -> std::optional<char> {
        asked.push_back(std::string{char(lead), char(trail)});
        return 'c';
    };
    EXPECT_EQ(LearnInitials(learned, gbk("亍北亍"), ask), 1);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], gbk("亍"));
    ASSERT_EQ(learned.size(), 1u);
    EXPECT_EQ(initialOf("亍", learned), "C");
    EXPECT_EQ(NameInitials(gbk("亍北亍"), learned), "CBC");

    // Known characters and one-byte characters are never asked about.
    asked.clear();
    EXPECT_EQ(LearnInitials(learned, gbk("北京 A亍"), ask), 0);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(learned.size(), 1u);
    EXPECT_EQ(LearnInitials(learned, "", ask), 0);
    EXPECT_TRUE(asked.empty());
}

TEST(LearnInitials, UnansweredQuestionStoresNothingAndAsksAgain)
{
    std::vector<LearnedInitial> learned;
    int calls = 0;
    auto cancel = [&](uint8_t, uint8_t) -> std::optional<char> {
        ++calls;
        return std::nullopt;
    };
    EXPECT_EQ(LearnInitials(learned, gbk("亍亍"), cancel), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(learned.empty());

    // An answer that is not a letter cannot identify the character either.
    calls = 0;
    auto digit = [&](uint8_t, uint8_t) -> std::optional<char> {
        ++calls;
        return '7';
    };
    EXPECT_EQ(LearnInitials(learned, gbk("亳亳"), digit), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(learned.empty());

    EXPECT_EQ(LearnInitials(learned, gbk("亳"), AskInitialFn()), 0);
    EXPECT_TRUE(learned.empty());
}

TEST(InitialsTable, AgreesWithNameInitialsForEveryCode)
{
    std::vector<LearnedInitial> learned = {
        learnedFor("亍", 'C'),  learnedFor("亳", 'B'), learnedFor("亳", 'Q'),  // the second is never used
        learnedFor("北", 'X'),                                                // inside a range: ignored
    };
    LearnedInitial noLetter = learnedFor("濮", 'P');  // letter length 0, as a file may hold
    noLetter.raw[3] = 0;
    learned.push_back(noLetter);
    learned.push_back(learnedFor("濮", 'P'));
    LearnedInitial nulLetter = learnedFor("邗", 'H');  // a 0x00 letter stays 0x00
    nulLetter.raw[4] = 0;
    learned.push_back(nulLetter);
    LearnedInitial notTwoBytes = learnedFor("郫", 'P');  // character length not 2: never matches
    notTwoBytes.raw[0] = 1;
    learned.push_back(notTwoBytes);
    learned.push_back(LearnedInitial::make(0x41, 0x42, 'Z'));  // "AB" is two one-byte characters
    learned.push_back(LearnedInitial::make(0x81, 0x20, 'K'));  // lead byte with an odd trail byte

    const InitialsTable table(learned);
    for (uint32_t c = 0; c < 0x10000; ++c) {
        const std::string name = twoBytes(uint16_t(c));
        ASSERT_EQ(table.initials(name), NameInitials(name, learned)) << std::hex << c;
    }
    // Across characters, with a trailing lead byte and an empty name.
    for (const std::string& name : {gbk("北亍亳濮邗京"), gbk("郫A") + "\xB1", std::string("AB\x81\x20"), std::string()}) {
        EXPECT_EQ(table.initials(name), NameInitials(name, learned));
        // append() writes at most one byte per name byte.
        std::string buffer(name.size(), '#');
        EXPECT_LE(table.append(name, buffer.data()) - buffer.data(), std::ptrdiff_t(name.size()));
    }
    // The letterless 濮 record comes first, so 濮 contributes nothing.
    EXPECT_EQ(table.initials(gbk("亳亍濮北邗")), std::string("BCB\0", 4));
}

TEST(IsAcceptableInitial, LettersAToZOnly)
{
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_TRUE(isAcceptableInitial(std::string(1, c))) << c;
    for (const std::string& bad : {std::string(), std::string("a"), std::string("z"), std::string("AB"),
                                   std::string("@"), std::string("["), std::string("0"), std::string(" "),
                                   std::string(1, '\0'), gbk("Ａ"), gbk("北")})
        EXPECT_FALSE(isAcceptableInitial(bad)) << bad;
}
