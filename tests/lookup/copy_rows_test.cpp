// The clipboard table of selected rows: 所属, name, area code, postcode, tab
// separated, one line a row, whatever bytes the cells hold.
#include "lookup/CopyRows.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>

#include <string>

using namespace qv;

namespace {

std::string g(const char* utf8) { return *gbk::fromUtf8(utf8); }

}  // namespace

TEST(CopyRows, CellsInListOrderOneLineARow)
{
    EntryRowSet set;
    const uint32_t gd = set.addDirectoryName(g("广东省"));
    const uint32_t odd = set.addDirectoryName("a\tb");
    set.rows.push(0, gd, g("深圳"), "0755", "518000");
    set.rows.push(48, gd, "", "", "");                                   // empty cells stay cells
    set.rows.push(96, odd, "line\nbreak\r", "\t07", "-8");               // separators inside become blanks
    set.rows.push(144, gd, "\xB1\xB1\xBE", "\x80", std::string("\0z", 2));  // cut character, euro, NUL
    const struct {
        std::vector<int> rows;
        QString want;
    } cases[] = {
        {{0}, QStringLiteral("广东省\t深圳\t0755\t518000\n")},
        {{1, 0}, QStringLiteral("广东省\t\t\t\n广东省\t深圳\t0755\t518000\n")},
        {{2}, QStringLiteral("a b\tline break \t 07\t-8\n")},
        {{3}, QStringLiteral("广东省\t北\uFFFD\t€\t") + QChar(0) + QStringLiteral("z\n")},
        {{-1, 4, 99}, QString()},  // rows that are not there are left out
        {{}, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows.size() << " rows from " << (c.rows.empty() ? -1 : c.rows[0]));
        EXPECT_EQ(rowsAsTable(set, c.rows), c.want);
    }
}

TEST(CopyRows, ALongSelectionMatchesItsRowsOneByOne)
{
    EntryRowSet set;
    const uint32_t dir = set.addDirectoryName(g("新疆维吾尔自治区"));
    std::vector<int> all;
    QString want;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = g(i % 3 ? "乌鲁木齐" : "喀什") + std::to_string(i);
        // Every seventh name is cut inside its last character.
        set.rows.push(48 * i, dir, i % 7 ? name : name + "\xCE", "0991", std::to_string(830000 + i));
        all.push_back(i);
        want += QStringLiteral("新疆维吾尔自治区\t") + gbk::toQString(set.cellText(set.rows.back(), kColumnName)) +
                QStringLiteral("\t0991\t%1\n").arg(830000 + i);
    }
    EXPECT_EQ(rowsAsTable(set, all), want);
}
