// The printed page layout against the printing routine run step by step:
// caption line on each page, fixed pitch, break past 80 % of the height.
#include "exchange/PrintLayout.h"
#include "store/GbkText.h"

#include <gtest/gtest.h>

#include <climits>

using namespace qv;

namespace {

// The routine: y from 0, caption when y is 0, the row, y += h, new page when
// y > 0.8 H; an empty last page is not ejected. Per page, (row or -1 for the
// caption, y) of each line.
std::vector<std::vector<std::pair<int, int>>> simulate(int h, int height, int rows)
{
    std::vector<std::vector<std::pair<int, int>>> pages(1);
    for (int i = 0, y = 0; i < rows; ++i) {
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

PrintCells cellsOf(size_t) { return {"n", "a", "p", "d"}; }

}  // namespace

TEST(PrintLayout, PagesMatchTheRoutine)
{
    for (int charHeight : {1, 7, 50, 163})
        for (int dpi : {0, 72, 600, 1200})
            for (int height : {0, 9, 100, 101, 1000, 12000})
                for (int rows : {0, 1, 2, 7, 8, 9, 40, 333}) {
                    const PrintLayout layout({10, charHeight, dpi, height}, size_t(rows));
                    const auto want = simulate(charHeight + dpi / 10, height, rows);
                    SCOPED_TRACE(testing::Message() << charHeight << " " << dpi << " " << height << " " << rows);
                    ASSERT_EQ(layout.pageCount(), want.size());
                    for (size_t p = 0; p < want.size(); ++p) {
                        std::vector<std::pair<int, int>> got;
                        for (const PrintLine& l : layout.lines(p, cellsOf))
                            got.push_back({l.caption ? -1 : int(l.row), l.y});
                        ASSERT_EQ(got, want[p]);
                    }
                }
}

TEST(PrintLayout, ColumnsAndTexts)
{
    const PrintLayout layout({24, 30, 300, 1000}, 3);
    EXPECT_EQ(layout.columns(), (std::array<int, 4>{0, 312, 384, 504}));
    EXPECT_EQ(layout.linePitch(), 60);
    const auto lines = layout.lines(0, [](size_t row) { return row == 2 ? PrintCells{"x", "", "", ""} : cellsOf(row); });
    EXPECT_EQ(gbk::toQString(lines[0].texts[0]) + gbk::toQString(lines[0].texts[3]), QStringLiteral("名称所属"));
    EXPECT_EQ(lines[3].texts[0], "x");
    // The list shows 所属 first; the printout puts it last.
    EntryRowSet set;
    set.rows.push(-1, set.addDirectoryName("dir"), "name", "0755", "518000");
    EXPECT_EQ(printCells(set, set.rows[0]), (PrintCells{"name", "0755", "518000", "dir"}));
}

TEST(PrintLayout, BrokenMeasuresStayFiniteAndOrdered)
{
    for (const PrintMetrics m : {PrintMetrics{0, 0, 0, 0}, PrintMetrics{-5, -100, -1200, -1},
                                 PrintMetrics{INT_MAX, INT_MAX, INT_MAX, INT_MAX}}) {
        const PrintLayout layout(m, 1000000);
        EXPECT_GE(layout.columns()[3], layout.columns()[1]);
        ASSERT_GE(layout.pageCount(), 1u);
        const auto last = layout.lines(layout.pageCount() - 1, cellsOf);
        ASSERT_GE(last.size(), 2u);
        EXPECT_EQ(last.back().row, 999999u);
        for (size_t i = 1; i < last.size(); ++i)
            EXPECT_GT(last[i].y, last[i - 1].y);
    }
}

TEST(PrintLayout, SequenceTakesRangeCopiesCollationAndOrder)
{
    using V = std::vector<size_t>;
    const struct {
        size_t pages;
        PrintJobOptions options;
        V want;
    } cases[] = {
        {4, {}, {0, 1, 2, 3}},
        {4, {2, 3, 1, true, false, {}}, {1, 2}},
        {4, {2, 3, 2, true, false, {}}, {1, 2, 1, 2}},
        {4, {2, 3, 2, false, false, {}}, {1, 1, 2, 2}},
        {4, {2, 3, 2, true, true, {}}, {2, 1, 2, 1}},
        {4, {2, 3, 2, false, true, {}}, {2, 2, 1, 1}},
        {4, {3, 9, 1, true, false, {}}, {2, 3}},       // past the last page: up to it
        {4, {5, 9, 1, true, false, {}}, {}},           // wholly past it: nothing
        {4, {3, 2, 1, true, false, {}}, {}},           // an empty range
        {4, {0, 0, 0, true, true, {}}, {3, 2, 1, 0}},  // no copies is one copy
        {0, {}, {}},
        {1, {1, 1, 3, false, true, {}}, {0, 0, 0}},
        // Listed pages: only those, each once, past the last page left out.
        {6, {1, 5, 1, true, false, {{1, 1}, {3, 3}, {5, 9}}}, {0, 2, 4, 5}},
        {6, {1, 4, 2, false, true, {{1, 2}, {2, 4}}}, {3, 3, 2, 2, 1, 1, 0, 0}},
        {4, {5, 9, 1, true, false, {{5, 9}}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " " << c.options.fromPage << "-" << c.options.toPage << " x"
                                        << c.options.copies << " " << c.options.collate << c.options.lastPageFirst);
        EXPECT_EQ(printSequence(c.pages, c.options), c.want);
    }
}

TEST(PrintLayout, ColumnRoomEndsBeforeTheNextColumn)
{
    const PrintLayout layout({24, 30, 300, 1000}, 3);  // columns 0, 312, 384, 504
    EXPECT_EQ(layout.columnRoom(0, 2000, 6), 306);
    EXPECT_EQ(layout.columnRoom(1, 2000, 6), 66);
    EXPECT_EQ(layout.columnRoom(2, 2000, 0), 120);
    EXPECT_EQ(layout.columnRoom(3, 2000, 6), 1496);  // the last one runs to the page's edge
    EXPECT_EQ(layout.columnRoom(3, 100, 6), 0);      // a column off the page has no room
    EXPECT_EQ(PrintLayout({1, 30, 300, 1000}, 1).columnRoom(1, 2000, 50), 0);
}
