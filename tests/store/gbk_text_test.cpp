#include "store/GbkText.h"
#include "store/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// decodeInto's result, in exactly the room it promises to keep within.
QString viaDecodeInto(const std::string& gbk)
{
    std::vector<char16_t> room(gbk.size() + 1, u'#');
    const size_t n = qv::gbk::decodeInto(gbk, room.data());
    EXPECT_LE(n, gbk.size());
    EXPECT_EQ(room[gbk.size()], u'#');
    return QString::fromUtf16(room.data(), qsizetype(n));
}

}  // namespace

// The quick UTF-8 and UTF-16 paths give what the screen shows: ASCII as it is, a cut-off
// lead byte as U+FFFD, 0x80 as the euro sign.
TEST(GbkText, Utf8MatchesTheDisplayedText)
{
    const std::string cases[] = {"", "0755", std::string("a\0b", 3), "\xB1\xB1\xBE\xA9", "\xB1\xB1\xBE", "\x80",
                                 "\xFF\x81", "-8 \xCA\xD0"};
    for (const std::string& gbk : cases) {
        SCOPED_TRACE(gbk);
        EXPECT_EQ(qv::gbk::toUtf8(gbk), qv::gbk::toQString(gbk).toUtf8());
        EXPECT_EQ(viaDecodeInto(gbk), qv::gbk::toQString(gbk));
    }
    EXPECT_EQ(qv::gbk::toUtf8("\xB1\xB1\xBE"), QByteArray("\xE5\x8C\x97\xEF\xBF\xBD"));  // 北 and U+FFFD
}

// The tables behind long conversions (UTF-8 and UTF-16) agree with the decoder for every pair
// of bytes, whether it is a character or not, and for random bytes.
TEST(GbkText, Utf8AgreesWithTheDecoderForEveryPair)
{
    std::string all;
    for (int lead = 0x80; lead <= 0xFF; ++lead)
        for (int trail = 0x00; trail <= 0xFF; ++trail) {
            const std::string one{'a', char(lead), char(trail), 'z'};
            ASSERT_EQ(qv::gbk::toUtf8(one), qv::gbk::toQString(one).toUtf8()) << lead << ' ' << trail;
            ASSERT_EQ(viaDecodeInto(one), qv::gbk::toQString(one)) << lead << ' ' << trail;
            ASSERT_EQ(viaDecodeInto(one.substr(0, 2)), qv::gbk::toQString(one.substr(0, 2))) << lead;
            // Every character in one long text, which the table converts alone.
            if (qv::gbk::toQString(one).size() == 3 && !qv::gbk::toQString(one).contains(QChar::ReplacementCharacter))
                all += one.substr(1, 2);
        }
    EXPECT_GT(all.size(), 40000u);
    EXPECT_EQ(qv::gbk::toUtf8(all), qv::gbk::toQString(all).toUtf8());
    EXPECT_EQ(viaDecodeInto(all), qv::gbk::toQString(all));
    uint32_t seed = 7;
    for (int round = 0; round < 200; ++round) {
        std::string soup(size_t(round % 64), '\0');
        for (char& c : soup) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 16);
        }
        ASSERT_EQ(qv::gbk::toUtf8(soup), qv::gbk::toQString(soup).toUtf8()) << round;
        ASSERT_EQ(viaDecodeInto(soup), qv::gbk::toQString(soup)) << round;
    }
}

// What counts as a GBK character is what converts to Unicode and back to the
// same bytes without private use; everything else is refused both ways.
TEST(GbkText, CharactersAreExactlyThePairsThatComeBack)
{
    int characters = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead)
        for (int trail = 0x00; trail <= 0xFF; ++trail) {
            const std::string pair{char(lead), char(trail)};
            const QString shown = qv::gbk::toQString(pair);
            const std::optional<std::string> back = qv::gbk::fromQString(shown);
            const bool isPrivate = !shown.isEmpty() && shown[0].unicode() >= 0xE000 && shown[0].unicode() <= 0xF8FF;
            const bool one = qv::text::gbkCharAt(pair, 0) == 2;
            ASSERT_EQ(one, lead != 0x80 && back == pair && !isPrivate) << lead << ' ' << trail;
            ASSERT_EQ(qv::text::firstBadGbk(pair) == qv::text::npos, one || (lead == 0x80 && trail < 0x81))
                << lead << ' ' << trail;
            characters += one;
        }
    // GBK's 21886 two-byte characters but the 95 that code page 936 gives to
    // private use (vertical forms, a few radicals, ḿ and ǹ).
    EXPECT_EQ(characters, 21791);
}
