#include "store/GbkText.h"

#include <gtest/gtest.h>

#include <string>

// The quick UTF-8 path gives what the screen shows: ASCII as it is, a cut-off
// lead byte as U+FFFD, 0x80 as the euro sign.
TEST(GbkText, Utf8MatchesTheDisplayedText)
{
    const std::string cases[] = {"", "0755", std::string("a\0b", 3), "\xB1\xB1\xBE\xA9", "\xB1\xB1\xBE", "\x80",
                                 "\xFF\x81", "-8 \xCA\xD0"};
    for (const std::string& gbk : cases) {
        SCOPED_TRACE(gbk);
        EXPECT_EQ(qv::gbk::toUtf8(gbk), qv::gbk::toQString(gbk).toUtf8());
    }
    EXPECT_EQ(qv::gbk::toUtf8("\xB1\xB1\xBE"), QByteArray("\xE5\x8C\x97\xEF\xBF\xBD"));  // 北 and U+FFFD
}
