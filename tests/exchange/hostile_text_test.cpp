// Names no editor types but a file may hold: bytes that are not GBK, a lead
// byte alone at a field's end, NUL, full-width blanks, a 25-byte cut inside
// a character, control bytes. Each sits in its own directory between two
// ordinary places; listing, search, sorting, both exports and the print
// layout keep every byte of it and of its neighbours; importing the text
// export brings back every byte that is GBK text and refuses the rest.
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/PrintLayout.h"
#include "lookup/Search.h"
#include "store/GbkText.h"
#include "ReadBack.h"
#include "TestImages.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace qv;
namespace text = qv::gbk;

namespace {

std::string gb(const char* utf8) { return qvtest::gbk(utf8); }

using Texts = std::tuple<std::string, std::string, std::string, std::string>;  // directory, name, area, post

std::string cut25()
{
    std::string s;
    for (int i = 0; i < 12; ++i)
        s += "\xB1\xB1";
    return s + "\xBE";  // 北 twelve times, then the first byte of 京
}

const struct Hostile {
    const char* what;
    std::string name, area, post;
    const char* refused;  // how an import of the text export refuses the bytes that are no GBK; nullptr: it takes them
} kHostile[] = {
    {"not GBK", "\xFF\x80\x81\x7F\xFE", "\xFF\xFF", "\x81\x30", "第2行的字节“FF”不是GBK字符"},
    {"lone lead byte at the end", "\xB1\xB1\xBE", "01\x81", "1000000\xB1", "第2行的字节“BE”不是GBK字符"},
    {"NUL inside", std::string("\xB1\xB1\0\xBE\xA9", 5), std::string("0\0" "1", 3), std::string(1, '\0'), nullptr},
    {"full-width blanks", "\xA1\xA1\xB1\xB1\xA1\xA1", "\xA1\xA1", "\xA1\xA1\xA1\xA1", nullptr},
    {"25-byte cut inside a character", cut25(), "0755\xB1", "5180000\xC9", "第2行的字节“BE”不是GBK字符"},
    {"control bytes", "\x01\x02\x1B[0m\x7F", "\t", "\x0B\x0C", nullptr},
};

// 北京 (id 1) holding 东城 and 西城, the hostile name as a directory (id 2)
// holding the hostile place between them.
void load(Database& db, const Hostile& h)
{
    qvtest::ImageBuilder b;
    b.dir(gb("北京"), 0, 1).dir(h.name, 0, 2).end(2).learnedCount(0);
    b.entry(gb("东城"), 1, "100010", "010").entry(h.name, 2, h.post, h.area).entry(gb("西城"), 1, "100032", "010");
    db.loadImage(b.bytes);
}

std::vector<Texts> expected(const Hostile& h)
{
    return {{gb("北京"), gb("东城"), "010", "100010"},
            {h.name.substr(0, 25), h.name.substr(0, 25), h.area.substr(0, 5), h.post.substr(0, 8)},
            {gb("北京"), gb("西城"), "010", "100032"}};
}

std::vector<Texts> textsOf(const EntryRowSet& set)
{
    std::vector<Texts> out;
    for (const EntryRow& r : set.rows)
        out.emplace_back(set.directoryText(r), r.nameText(), r.areaText(), r.postText());
    return out;
}

// Turns control characters into blanks; true when there were any.
bool blankControls(std::string& field)
{
    bool any = false;
    for (char& c : field)
        if (uint8_t(c) < 0x20 || c == 0x7F) {
            c = ' ';
            any = true;
        }
    return any;
}

EntryRowSet everything(const Database& db) { return searchEntries(db, "", QueryOptions()); }

}  // namespace

TEST(HostileText, ListingSearchAndSortingKeepEveryByte)
{
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.what);
        Database db;
        load(db, h);
        const std::vector<Texts> want = expected(h);
        EXPECT_EQ(textsOf(everything(db)), want);
        EXPECT_EQ(textsOf(listDirectory(db.image, 2, h.name.substr(0, 25))), std::vector<Texts>{want[1]});
        EXPECT_EQ(textsOf(listDirectory(db.image, 1, gb("北京"))), (std::vector<Texts>{want[0], want[2]}));

        // Each name finds its own place only, whole or in part.
        QueryOptions exact, byName;
        exact.exact = true, exact.fuzzy = false;
        byName.byInitials = byName.byPostcode = byName.byAreaCode = false;
        EXPECT_EQ(textsOf(searchEntries(db, h.name.substr(0, 25), exact)), std::vector<Texts>{want[1]});
        EXPECT_EQ(textsOf(searchEntries(db, h.name.substr(0, 3), byName)), std::vector<Texts>{want[1]});
        EXPECT_EQ(textsOf(searchEntries(db, gb("西城"), exact)), std::vector<Texts>{want[2]});
        EXPECT_EQ(textsOf(searchEntries(db, gb("城"), byName)), (std::vector<Texts>{want[0], want[2]}));

        for (int column = 0; column < 4; ++column) {
            for (int direction : {1, -1}) {
                EntryRowSet set = everything(db);
                sortEntryRows(set, column, direction);
                std::vector<Texts> sorted = textsOf(set), rows = want;
                std::sort(sorted.begin(), sorted.end()), std::sort(rows.begin(), rows.end());
                EXPECT_EQ(sorted, rows) << column;  // the same rows, every byte kept
                for (size_t i = 1; i < set.rows.size(); ++i)
                    EXPECT_LE(compareEntryText(set.cellText(set.rows[i - 1], column), set.cellText(set.rows[i], column)) * direction, 0);
            }
        }
    }
}

TEST(HostileText, TextExportImportsBackByteForByte)
{
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.what);
        Database db;
        load(db, h);
        const EntryRowSet rows = everything(db);
        QByteArray text;
        QBuffer out(&text);
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(writeText(ExportSource::currentList(rows), out).ok());
        std::string want;
        for (const auto& [dir, name, area, post] : expected(h))
            want += dir + "," + name + "," + area + "," + post + "\r\n";
        EXPECT_EQ(text.toStdString(), want);

        Database back;
        back.loadImage(qvtest::ImageBuilder().end(0).learnedCount(0).bytes);
        QBuffer in(&text);
        in.open(QIODevice::ReadOnly);
        const ImportResult r = importText(back, in, nullptr, {});
        if (h.refused) {
            // Never stored as garbage: the line and its bytes are named, nothing changes.
            EXPECT_EQ(r.stop, ImportResult::Unconvertible);
            EXPECT_TRUE(r.message.startsWith(QString::fromUtf8(h.refused))) << r.message.toStdString();
            EXPECT_FALSE(back.ModifiedFlag);
            EXPECT_EQ(back.image.entryCount(), 0);
            continue;
        }
        EXPECT_EQ(r.stop, ImportResult::EndOfFile);
        // Every byte comes back but control characters, which an import blanks.
        std::vector<Texts> back4 = expected(h);
        int blanked = 0;
        for (auto& row : back4)
            std::apply([&](auto&... field) { ((blanked += blankControls(field)), ...); }, row);
        EXPECT_EQ(textsOf(everything(back)), back4);
        EXPECT_EQ(r.controlFields, blanked);
    }
}

TEST(HostileText, WorkbookRowsStayApart)
{
    QTemporaryDir dir;
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.what);
        Database db;
        load(db, h);
        const QString path = dir.filePath("kvrn.xls");
        ASSERT_TRUE(writeWorkbook(ExportSource::currentList(everything(db)), path, {}, dir.path()).ok());
        const auto sheet = qvtest::readSheet(path);
        if (!sheet)
            GTEST_SKIP() << "python3-openpyxl is not installed";
        // The neighbours' rows whole; the hostile row one row of four cells
        // showing what the list shows, a NUL as U+FFFD rather than the cell's end.
        QString shown = text::toQString(h.name.substr(0, 25)) + '|' + text::toQString(h.name.substr(0, 25)) + '|' +
                        text::toQString(h.post) + '|' + text::toQString(h.area);
        shown.replace(QChar(0), QChar(QChar::ReplacementCharacter));
        EXPECT_EQ(*sheet, "1\n地区名称|所属|邮政编码|电话区号\n东城|北京|100010|010\n" + shown.toStdString() + "\n西城|北京|100032|010");
    }
}

TEST(HostileText, PrintedLinesCarryTheStoredBytes)
{
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.what);
        Database db;
        load(db, h);
        const EntryRowSet set = everything(db);
        const PrintLayout layout({24, 30, 300, 2000}, set.rows.size());
        const auto lines = layout.lines(0, [&](size_t row) { return printCells(set, set.rows[row]); });
        ASSERT_EQ(lines.size(), 4u);
        const std::vector<Texts> want = expected(h);
        for (size_t i = 1; i < 4; ++i) {
            const auto& [dir, name, area, post] = want[i - 1];
            EXPECT_EQ(lines[i].texts, (PrintCells{name, area, post, dir}));
        }
    }
}
