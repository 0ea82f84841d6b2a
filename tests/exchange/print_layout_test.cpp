// The printed page layout against the step-by-step printing routine: caption
// line on each page, fixed pitch, break past 80 % of the printable height.
#include "exchange/PrintLayout.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>

#include <climits>

#include <string>
#include <vector>

using namespace qv;

namespace {

// The routine as the user sees it run: y from 0, caption when y is 0, the row,
// y += h, new page when y > 0.8 H (and an empty last page is not ejected).
// Returns, per page, the y of each line, -1 standing for the caption.
std::vector<std::vector<std::pair<int, int>>> simulate(int h, int height, int rows)
{
    std::vector<std::vector<std::pair<int, int>>> pages(1);
    int y = 0;
    for (int i = 0; i < rows; ++i) {
        if (y == 0) {
            pages.back().push_back({-1, y});
            y += h;
        }
        pages.back().push_back({i, y});
        y += h;
        if (y > 0.8 * height) {
            pages.emplace_back();
            y = 0;
        }
    }
    if (pages.back().empty())
        pages.pop_back();
    return pages;
}

PrintCells numbered(size_t row)
{
    static std::vector<std::string> names;
    while (names.size() <= row)
        names.push_back("r" + std::to_string(names.size()));
    return {names[row], "a", "p", "d"};
}

}  // namespace

TEST(PrintLayout, PagesMatchTheRoutineForManyShapes)
{
    for (int charHeight : {1, 7, 50, 163})
        for (int dpi : {0, 72, 600, 1200})
            for (int height : {0, 9, 100, 101, 1000, 12000})
                for (int rows : {0, 1, 2, 7, 8, 9, 40, 333}) {
                    const PrintLayout layout({10, charHeight, dpi, height}, size_t(rows));
                    const int h = charHeight + dpi / 10;
                    ASSERT_EQ(layout.linePitch(), h);
                    const auto want = simulate(h, height, rows);
                    SCOPED_TRACE(testing::Message() << "h=" << h << " H=" << height << " rows=" << rows);
                    ASSERT_EQ(layout.pageCount(), want.size());
                    for (size_t p = 0; p < want.size(); ++p) {
                        const auto got = layout.lines(p, numbered);
                        ASSERT_EQ(got.size(), want[p].size());
                        for (size_t i = 0; i < got.size(); ++i) {
                            EXPECT_EQ(got[i].caption ? -1 : int(got[i].row), want[p][i].first);
                            EXPECT_EQ(got[i].y, want[p][i].second);
                        }
                    }
                }
}

TEST(PrintLayout, ColumnsCaptionsAndTexts)
{
    const PrintLayout layout({24, 30, 300, 1000}, 3);
    EXPECT_EQ(layout.cellWidth(), 24);
    EXPECT_EQ(layout.columns(), (std::array<int, 4>{0, 312, 384, 504}));
    EXPECT_EQ(layout.linePitch(), 60);
    const auto lines = layout.lines(0, numbered);
    ASSERT_EQ(lines.size(), 4u);
    const char* captions[] = {"名称", "区号", "邮编", "所属"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(gbk::toQString(lines[0].texts[size_t(c)]), QString::fromUtf8(captions[c]));
    EXPECT_EQ(lines[3].texts[0], "r2");
    EXPECT_TRUE(layout.lines(1, numbered).empty());

    // The list shows 所属 first; the printout puts it last.
    EntryRowSet set;
    EntryRow row;
    row.directory = set.addDirectoryName("dir");
    row.setTexts("name", "0755", "518000");
    EXPECT_EQ(printCells(set, row), (PrintCells{"name", "0755", "518000", "dir"}));
}

TEST(PrintLayout, LastBreakAfterLastRowLeavesNoEmptyPage)
{
    // h = 10, H = 100: a page holds 8 rows (after the 8th, y = 90 > 80).
    const PrintLayout layout({10, 10, 0, 100}, 16);
    EXPECT_EQ(layout.rowsPerPage(), 8u);
    EXPECT_EQ(layout.pageCount(), 2u);
    EXPECT_EQ(PrintLayout({10, 10, 0, 100}, 17).pageCount(), 3u);
    EXPECT_EQ(PrintLayout({10, 10, 0, 100}, 1).pageCount(), 1u);
}

TEST(PrintLayout, BrokenMeasuresStayFiniteAndOrdered)
{
    // No pitch, negative sizes, huge values: lines still go down the page,
    // every page holds a row, and a million rows cost nothing per row.
    for (const PrintMetrics m : {PrintMetrics{0, 0, 0, 0}, PrintMetrics{-5, -100, -1200, -1},
                                 PrintMetrics{INT_MAX, INT_MAX, INT_MAX, INT_MAX}}) {
        const PrintLayout layout(m, 1000000);
        EXPECT_GE(layout.linePitch(), 1);
        EXPECT_GE(layout.columns()[3], layout.columns()[1]);
        ASSERT_GE(layout.pageCount(), 1u);
        const auto last = layout.lines(layout.pageCount() - 1, [](size_t) { return PrintCells{}; });
        ASSERT_GE(last.size(), 2u);
        EXPECT_EQ(last.back().row, 999999u);
        for (size_t i = 1; i < last.size(); ++i)
            EXPECT_GT(last[i].y, last[i - 1].y);
    }
}
