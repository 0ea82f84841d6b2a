#include "exchange/Export.h"
#include "exchange/Import.h"
#include "../../tools/SyntheticDb.h"
#include "FaultDevices.h"
#include "TestImages.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

using qv::Database;
using qv::DirectoryNode;
using qv::EntryRowSet;
using qv::ExportSource;
using qv::ImportResult;
using qvtest::gbk;

namespace {

// 北京 > 海淀, and 上海 with one place.
void loadBase(Database& db)
{
    qvtest::ImageBuilder b;
    b.dir(gbk("北京"), 0, 1).dir(gbk("海淀"), 1, 2).dir(gbk("上海"), 0, 3).end(3).learnedCount(0);
    b.entry(gbk("浦东"), 3, "200120", "021");
    db.loadImage(b.bytes);
}

// The directories of `parent` from child `first` on, each with its places in
// image order: "caption[name,area,post|...] ..." in GBK. A place filed
// anywhere else shows as "stray".
std::string describe(Database& db, DirectoryNode* parent, size_t first)
{
    std::map<int32_t, std::string> places;
    for (size_t i = first; i < parent->children.size(); ++i)
        places[parent->children[i]->id];
    std::string stray;
    db.image.forEachEntry([&](int32_t pos, const uint8_t*) {
        const qv::EntryRecord r = db.image.readEntry(pos);
        auto it = places.find(r.owner);
        if (it == places.end()) {
            stray += pos > db.image.entrySectionStart() ? " stray" : "";
            return;
        }
        it->second += (it->second.empty() ? "" : "|") + r.name + "," + r.areaCode + "," + r.postcode;
    });
    std::string out;
    for (size_t i = first; i < parent->children.size(); ++i)
        out += (out.empty() ? "" : " ") + parent->children[i]->caption + "[" + places[parent->children[i]->id] + "]";
    return out + stray;
}

ImportResult importBytes(Database& db, const std::string& bytes, DirectoryNode* selected = nullptr,
                         const qv::AskInitialFn& ask = {})
{
    QByteArray data(bytes.data(), qsizetype(bytes.size()));
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    return qv::importText(db, in, selected, ask);
}

}  // namespace

TEST(Import, LineRules)
{
    const std::string nul(1, '\0');
    const size_t read = 1 << 20;  // what the import reads at a time
    const std::string longDir(200000, 'D'), d25(25, 'D');
    const struct {
        const char* what;
        std::string input, expected;
        ImportResult::Stop stop;
    } cases[] = {
        {"one directory per run", gbk("甲,a,1,2\r\n甲,b,3,4\r\n"), gbk("甲[a,1,2|b,3,4]"), ImportResult::EndOfFile},
        {"a name that comes back", gbk("甲,a,1,2\n乙,b,3,4\n甲,c,5,6"), gbk("甲[a,1,2] 乙[b,3,4] 甲[c,5,6]"),
         ImportResult::EndOfFile},
        {"a name already in the tree", gbk("北京,a,1,2\r\n"), gbk("北京[a,1,2]"), ImportResult::EndOfFile},
        {"case counts", "x,a,1,2\r\nX,b,3,4\r\n x,c,5,6\r\n", "x[a,1,2] X[b,3,4]  x[c,5,6]", ImportResult::EndOfFile},
        {"five fields", "d,a,1,2,3,4567890\r\n", "d[a,1,2,3,4567]", ImportResult::EndOfFile},
        {"cuts end on characters", gbk("d,a,0北京,1北京市海\r\nd,b,01234567,北京市海淀区\r\n"),
         gbk("d[a,0北京,1北京市|b,01234,北京市海]"), ImportResult::EndOfFile},
        {"a short line ends it", gbk("甲,a,1,2\r\n乙,b\r\n丙,c,1,2\r\n"), gbk("甲[a,1,2] 乙[]"),
         ImportResult::ShortLine},
        {"first line without a comma", gbk("甲\r\n甲,a,1,2\r\n"), "", ImportResult::ShortLine},
        {"a blank line at the end", "d,a,1,2\r\n\r\n", "d[a,1,2]", ImportResult::ShortLine},
        {"empty first directory field", ",a,1,2\r\n,b,3,4\r\nd,c,5,6", "[a,1,2|b,3,4] d[c,5,6]",
         ImportResult::EndOfFile},
        {"0x1A ends the file",
         "d,a,1,2\r\nd,b,3,4\x1A"
         "e,c,5,6\r\n",
         "d[a,1,2|b,3,4]", ImportResult::EndOfFile},
        {"a lone CR ends a line, control bytes become blanks", "d,a,1,2\rd,b\t,3,4\r" + nul + ",n" + nul + ",1,2\x7F",
         "d[a,1,2|b ,3,4]  [n ,1,2 ]", ImportResult::EndOfFile},
        {"a CR at the end of a read, no LF after it", "d," + std::string(read - 7, '7') + ",1,2\rd,b,3,4",
         "d[" + std::string(25, '7') + ",1,2|b,3,4]", ImportResult::EndOfFile},
        {"the euro sign's single byte", "\x80,a\x80,1,2", "\x80[a\x80,1,2]", ImportResult::EndOfFile},
        {"empty file", "", "", ImportResult::EndOfFile},
        {"CR LF split between reads, a line of several reads",
         "d," + std::string(read - 7, '7') + ",1,2\r\nd,a,1," + std::string(3 * read, '8') + "\r\n",
         "d[" + std::string(25, '7') + ",1,2|a,1,88888888]", ImportResult::EndOfFile},
        {"directory fields longer than kept", longDir + ",b,1,2\r\n" + longDir + ",c,3,4\r\n" + longDir + "E,e,5,6",
         d25 + "[b,1,2|c,3,4] " + d25 + "[e,5,6]", ImportResult::EndOfFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        loadBase(db);
        const ImportResult r = importBytes(db, c.input);
        EXPECT_EQ(describe(db, db.tree.root(), 2), c.expected);
        EXPECT_EQ(r.stop, c.stop);
        EXPECT_TRUE(r.message.isEmpty());
        EXPECT_TRUE(db.ModifiedFlag);
        EXPECT_EQ(db.image.entryCount(), 1 + r.entries);
        EXPECT_EQ(db.tree.count(), 3 + r.directories);
        EXPECT_EQ(db.tree.NextDirectoryId(), 3 + r.directories);
    }
}

TEST(Import, NewDirectoriesFollowTheSelectedOnesLastSibling)
{
    const struct {
        int32_t selected, parent;  // ids; 0 for none and the top level
        size_t first;              // children before the new ones
    } cases[] = {{2, 1, 1}, {3, 0, 2}, {0, 0, 2}};
    for (const auto& c : cases) {
        Database db;
        loadBase(db);
        importBytes(db, gbk("甲,a,1,2\r\n乙,b,3,4\r\n"), c.selected ? db.tree.findById(c.selected) : nullptr);
        DirectoryNode* parent = c.parent ? db.tree.findById(c.parent) : db.tree.root();
        EXPECT_EQ(describe(db, parent, c.first), gbk("甲[a,1,2] 乙[b,3,4]")) << c.selected;
    }
}

TEST(Import, NamesAreLearnedWholeAndAskedOncePerAnswer)
{
    const std::string bo = gbk("亳");  // second level of GB2312: no initial of its own
    const struct {
        std::optional<char> answer;
        size_t asks;
    } cases[] = {{'b', 1}, {std::nullopt, 2}};
    for (const auto& c : cases) {
        Database db;
        loadBase(db);
        std::vector<std::string> asked;
        auto ask = [&](uint8_t lead, uint8_t trail) {
            asked.push_back(std::string{char(lead), char(trail)});
            return c.answer;
        };
        std::string longName;
        for (int i = 0; i < 12; ++i)
            longName += gbk("北");
        // 26 bytes: the stored name keeps twelve characters, LearnInitials sees the thirteenth.
        importBytes(db, "d," + longName + bo + ",1,2\r\nd," + bo + gbk("州") + ",3,4\r\n", nullptr, ask);
        EXPECT_EQ(asked, std::vector<std::string>(c.asks, bo));
        EXPECT_EQ(describe(db, db.tree.root(), 2), "d[" + longName + ",1,2|" + bo + gbk("州") + ",3,4]");
        EXPECT_EQ(qv::CharInitial(uint8_t(bo[0]), uint8_t(bo[1]), db.learned), c.answer ? "B" : std::string(1, '\0'));
    }
}

TEST(Import, FailuresKeepWhatWasRead)
{
    std::string lines;
    for (int i = 0; i < 1000; ++i)
        lines += "d,a,1,2\r\n";
    Database db;
    loadBase(db);
    FailDevice device(4000, QByteArray::fromStdString(lines));  // 444 lines and part of one, then an error
    device.open(QIODevice::ReadOnly);
    ImportResult r = qv::importText(db, device, nullptr, {});
    EXPECT_EQ(r.stop, ImportResult::ReadFailed);
    EXPECT_TRUE(r.message.contains(QStringLiteral("读取错误"))) << r.message.toStdString();
    EXPECT_EQ(r.entries, 444);
    EXPECT_EQ(db.image.entryCount(), 445);
    EXPECT_TRUE(db.ModifiedFlag);

    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.txt"), dir.path()}) {
        Database untouched;
        loadBase(untouched);
        r = qv::importTextFile(untouched, path, nullptr, {});
        EXPECT_EQ(r.stop, ImportResult::CannotOpen);
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_FALSE(untouched.ModifiedFlag);
        EXPECT_EQ(untouched.tree.count(), 3);
    }
}

TEST(Import, ExportedTextComesBackAsTheSamePlaces)
{
    Database made;
    qvgen::Options o;
    o.entries = 3000;
    o.dirs = 60;
    o.varied = true;
    qvgen::generate(made, o);
    Database original;
    original.loadImage(made.buildImage());  // the directory section names every directory
    qv::EntryRowSet list = qv::listDirectory(original.image, 5, original.tree.findById(5)->caption);
    qv::sortEntryRows(list, qv::kColumnName, -1);
    for (const qv::ExportSource& source :
         {qv::ExportSource::allRecords(original.image), qv::ExportSource::currentList(list)}) {
        QBuffer text;
        text.open(QIODevice::WriteOnly);
        ASSERT_TRUE(qv::writeText(source, text).ok());
        Database back;
        const ImportResult r = importBytes(back, text.data().toStdString());
        EXPECT_EQ(r.stop, ImportResult::EndOfFile) << r.message.toStdString();
        EXPECT_EQ(r.entries, source.rowCount());
        back.loadImage(back.buildImage());
        QBuffer again;
        again.open(QIODevice::WriteOnly);
        ASSERT_TRUE(qv::writeText(qv::ExportSource::allRecords(back.image), again).ok());
        EXPECT_EQ(again.data(), text.data());
    }
}

namespace {

std::string utf16(const char* utf8, bool bigEndian, bool mark = true)
{
    std::string out = !mark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : QString::fromUtf8(utf8)) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

std::string gb18030(const char* utf8)
{
    const QByteArray b = QStringEncoder("GB18030").encode(QString::fromUtf8(utf8));
    return b.toStdString();
}

// The database as a save would write it, and the flag.
std::pair<std::vector<uint8_t>, bool> state(const Database& db) { return {db.buildImage(), db.ModifiedFlag}; }

}  // namespace

TEST(Import, EncodingIsSettledBeforeAnythingChanges)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string text = "甲,北京,010,100000\r\n乙,漷县,010,101100";
    const std::string expected = gbk("甲[北京,010,100000] 乙[漷县,010,101100]");
    const char* two = "共导入2个地区，新建2个目录。";
    const std::string no = "，无法导入；数据库没有改变";
    const struct {
        const char* what;
        std::string input;
        std::string expected;  // empty: nothing changes
        ImportResult::Encoding encoding;
        std::string said;  // the summary, or the message when nothing changes
    } cases[] = {
        {"GBK", gbk(text.c_str()), expected, ImportResult::Gbk, two},
        {"UTF-8", text, expected, ImportResult::Utf8, std::string(two) + "\n文件按UTF-8编码读取，已转换为GBK。"},
        {"UTF-8 with a byte-order mark", bom + text, expected, ImportResult::Utf8,
         std::string(two) + "\n文件按UTF-8编码读取，已转换为GBK。"},
        {"ASCII after a UTF-8 mark", bom + "d,a,1,2", "d[a,1,2]", ImportResult::Utf8,
         "共导入1个地区，新建1个目录。\n文件按UTF-8编码读取，已转换为GBK。"},
        {"UTF-16 LE", utf16(text.c_str(), false), expected, ImportResult::Utf16,
         std::string(two) + "\n文件按UTF-16编码读取，已转换为GBK。"},
        {"UTF-16 BE, CR line ends", utf16("甲,北京,010,100000\r乙,漷县,010,101100\r", true), expected,
         ImportResult::Utf16, std::string(two) + "\n文件按UTF-16编码读取，已转换为GBK。"},
        {"UTF-16 LE without a mark", utf16(text.c_str(), false, false), expected, ImportResult::Utf16,
         std::string(two) + "\n文件按UTF-16编码读取，已转换为GBK。"},
        {"UTF-16 BE without a mark", utf16(text.c_str(), true, false), expected, ImportResult::Utf16,
         std::string(two) + "\n文件按UTF-16编码读取，已转换为GBK。"},
        {"a character GBK lacks", "甲,北京,010,1\n\n乙,笑😀,010,2\n", "", ImportResult::Utf8,
         "第3行的“😀”（U+1F600）在GBK编码中没有对应的字" + no},
        {"a private-use character", "甲,\xEE\x80\x80,010,1\n", "", ImportResult::Utf8,
         "第1行的“\xEE\x80\x80”（U+E000）在GBK编码中没有对应的字" + no},
        {"the same in UTF-16", utf16("甲,a,1,2\r\n乙,😀,3,4", false), "", ImportResult::Utf16,
         "第2行的“😀”（U+1F600）在GBK编码中没有对应的字" + no},
        {"a lone surrogate in UTF-16", utf16("甲,a,1,2\r\n乙,", false) + std::string("\x00\xD8", 2) + utf16(",3,4", false, false),
         "", ImportResult::Utf16, "文件按UTF-16读取，但第2行有不成对的代理项U+D800，不是有效的UTF-16文本" + no},
        {"UTF-16 with an odd trailing byte", utf16("甲,a,1,2\r\n", true) + "x", "", ImportResult::Utf16,
         "文件按UTF-16读取，但末尾多出一个字节：文件不完整，可能在保存或复制时被截断" + no},
        {"not UTF-8 after the mark", bom + "a,b,c,d\nx,y,z,w\rq,\xFF,1,2\n", "", ImportResult::Utf8,
         "文件以UTF-8标记开头，但第3行不是有效的UTF-8文本（字节 FF）" + no},
        {"a mark, a bad line in the middle", bom + "甲,a,1,2\n乙,\xE4\xB9,1,2\n丙,c,3,4\n", "", ImportResult::Utf8,
         "文件以UTF-8标记开头，但第2行不是有效的UTF-8文本（字节 E4 B9）" + no},
        {"one bad sequence in UTF-8", "甲,北京,010,1\n乙,上海\xE6\xB5,021,2\n丙,广州,020,3\n", "", ImportResult::Utf8,
         "文件是UTF-8编码，但第2行不是有效的UTF-8文本（字节 E6 B5）" + no},
        {"GBK and UTF-8 lines mixed", gbk("甲,北京,010,1\r\n甲,东城,010,2\r\n") + "乙,上海,021,2\r\n", "", ImportResult::Gbk,
         "文件混用了两种编码：第1行是GBK，第3行是UTF-8。请把文件统一存为一种编码后再导入；数据库没有改变"},
        {"GB18030 four-byte characters", gb18030("甲,𠀾村,010,1\r\n乙,𠀀区,010,2\r\n"), "", ImportResult::Gbk,
         "第1行的字节“95 32 88 38”（GB18030编码的“𠀾”，U+2003E）不是GBK字符" + no},
        {"a GB18030 two-byte character", gb18030("甲,北京,010,1\r\n乙,䶮镇,010,2\r\n"), "", ImportResult::Gbk,
         "第2行的字节“FE 9F”（GB18030编码的“䶮”，U+4DAE）不是GBK字符" + no},
        {"stray bytes", gbk("甲,北京,010,1\r\n") + "\x81\x20\xFF\xFE\x80,b,1,2\r\n", "", ImportResult::Gbk,
         "第2行的字节“81”不是GBK字符" + no},
        {"a lead byte before a comma", "\xFF\x81,\x81,\x80\x81\x81\x81\x81\x81,\x81\x81\x81", "", ImportResult::Gbk,
         "第1行的字节“FF”不是GBK字符" + no},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        loadBase(db);
        const auto before = state(db);
        const std::vector<uint8_t> image = db.image.bytes();
        int asked = 0;
        const ImportResult r = importBytes(db, c.input, nullptr, [&](uint8_t, uint8_t) {
            ++asked;
            return std::optional<char>('H');
        });
        EXPECT_EQ(r.encoding, c.encoding);
        if (c.expected.empty()) {
            EXPECT_EQ(r.stop, ImportResult::Unconvertible);
            EXPECT_TRUE(r.changedNothing());
            EXPECT_EQ(state(db), before);
            EXPECT_EQ(db.image.bytes(), image);
            EXPECT_EQ(asked, 0);  // stopped before any question
            EXPECT_EQ(r.message.toStdString(), c.said);
        } else {
            EXPECT_EQ(describe(db, db.tree.root(), 2), c.expected);
            EXPECT_EQ(asked, c.expected == expected ? 1 : 0);  // 漷 only
            EXPECT_EQ(qv::importSummary(r).toStdString(), c.said);
        }
    }
}

TEST(Import, WorkbookCsvIsReadInTheWorkbooksColumns)
{
    const struct {
        const char* what;
        std::string input, expected;
        ImportResult::Stop stop;
        bool workbook;
    } cases[] = {
        {"quoted, as spreadsheets save it",
         "\xEF\xBB\xBF\"地区名称\",\"所属\",\"邮政编码\",\"电话区号\"\r\n"
         "\"东城, 西城\",北京,100010,010\r\n\"他说\"\"好\"\"\",北京,\"100000\",\"010\"\r\n"
         "\"两\r\n行\",乙,2,3,,\r\n",
         gbk("北京[东城, 西城,010,100010|他说\"好\",010,100000] 乙[两 行,3,2]"), ImportResult::EndOfFile, true},
        {"captions without quotes, GBK", gbk("地区名称,所属,邮政编码,电话区号\n东城,北京,100010,010\n东城\n"),
         gbk("北京[东城,010,100010]"), ImportResult::ShortLine, true},
        {"the captions in another order are a place",
         gbk("所属,地区名称,邮政编码,电话区号\r\n北京,\"东城\",010,100010\r\n"),
         gbk("所属[地区名称,邮政,电话区号] 北京[东城,010,100010]"), ImportResult::EndOfFile, false},
        // A text file quotes a field that holds a comma; the postcode is the
        // rest of the line, quotes and all.
        {"a text file's quoted fields", gbk("\"北,京\",\"东\"\"城\",010,\"1,2\"\r\n\"北,京\",\"\",\"0\",3\r\n"),
         gbk("北,京[东\"城,010,\"1,2\"|,0,3]"), ImportResult::EndOfFile, false},
        {"quotes that close before no comma are text",
         gbk("\"北京,东城,010,100010\r\n\"北\"京,\"东城\"区,\"0\",1\r\n甲,\"乙,\"1\",2\r\n丙,\"丁\",1,\"2\"\"\r\n"),
         gbk("\"北京[东城,010,100010] \"北\"京[\"东城\"区,0,1] 甲[\"乙,1,2] 丙[丁,1,\"2\"\"]"),
         ImportResult::EndOfFile, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        loadBase(db);
        const ImportResult r = importBytes(db, c.input);
        EXPECT_EQ(describe(db, db.tree.root(), 2), c.expected);
        EXPECT_EQ(r.stop, c.stop);
        EXPECT_EQ(r.workbookLayout, c.workbook);
    }
}

// What the text export writes of fields that hold commas or quotes comes
// back as the same places.
TEST(Import, TextExportOfCommasAndQuotesReadsBack)
{
    const std::vector<std::array<const char*, 4>> places = {
        {"北京,东城", "东城,西城", "0,1", "1,2"},
        {"\"北京", "\"东\"城\"", "\"", "\"2\""},
        {"北京\"", "东城\"", "", ""},
        {"", ",", ",", ","},
    };
    EntryRowSet rows;
    std::string expected;
    for (const auto& p : places) {
        rows.rows.push(0, rows.addDirectoryName(gbk(p[0])), gbk(p[1]), p[2], p[3]);
        expected += gbk(p[0]) + "[" + gbk(p[1]) + "," + p[2] + "," + p[3] + "] ";
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_EQ(writeText(ExportSource::currentList(rows), out).rows, 4);
    EXPECT_EQ(out.data().toStdString(), gbk("\"北京,东城\",\"东城,西城\",\"0,1\",1,2\r\n\"\"\"北京\",\"\"\"东\"\"城\"\"\",\"\"\"\",\"2\"\r\n"
                                            "北京\",东城\",,\r\n,\",\",\",\",,\r\n"));
    Database db;
    loadBase(db);
    const ImportResult r = importBytes(db, out.data().toStdString());
    EXPECT_EQ(r.stop, ImportResult::EndOfFile);
    expected.pop_back();
    EXPECT_EQ(describe(db, db.tree.root(), 2), expected);
}

TEST(Import, SummarySaysWhatArrivedAndWhereItStopped)
{
    const std::string nul(1, '\0');
    const struct {
        std::string input;
        const char* summary;
    } cases[] = {
        {"d,a,1,2\r\nd,b,3,4\r\ne,c,5,6", "共导入3个地区，新建2个目录。"},
        {"d,a,1,2\r\n\r\n", "共导入1个地区，新建1个目录。"},
        {"d,a,1,2\n\n\n\n", "共导入1个地区，新建1个目录。"},
        {"d,a,1,2\r\nd,b,3,4\r\n\r\nd,c,5,6\r\nd,e,7,8\r\n",
         "共导入2个地区，新建1个目录。\n第3行是空行，导入在这一行停止，其后的2行没有读取。"},
        {"d,a,1,2\ne,b\nf,c,1,2\rg",
         "共导入1个地区，新建2个目录。\n第2行不足四个字段，导入在这一行停止，其后的2行没有读取。"},
        {"d,a,1,2\nd,b,1", "共导入1个地区，新建1个目录。\n第2行不足四个字段，导入在这一行停止，其后的0行没有读取。"},
        {"d\t,a" + nul + "b,1,2\nd\t,c,\x1B,4\n", "共导入2个地区，新建1个目录。\n有4个字段含有控制字符，已换成空格。"},
        {"\xEF\xBB\xBF\"地区名称\",\"所属\",\"邮政编码\",\"电话区号\"\n东城,北京,1,2\n",
         "共导入1个地区，新建1个目录。\n文件按UTF-8编码读取，已转换为GBK。\n"
         "第一行是EXCEL表格的标题行，已跳过，各列按表格的顺序读取。"},
        {"d,a,1,2\r\nd,b,3,4\x1A" "e,c\r\nf,d,7,8\r\ng,e,9,9",
         "共导入2个地区，新建1个目录。\n第2行有文件结束标记（0x1A），导入在这一行停止，"
         "这一行在标记之后的部分和其后的2行没有读取。"},
        {"d,a,1,2\r\n\x1A" "e,c,5,6\r\nf,d,7,8\r\n",
         "共导入1个地区，新建1个目录。\n第2行有文件结束标记（0x1A），导入在这一行停止，"
         "这一行在标记之后的部分和其后的1行没有读取。"},
        {"d,a,1,2\r\nd,b\x1A,3,4\r\ne,c,5,6\r\nf,d,7,8\r\n",
         "共导入1个地区，新建1个目录。\n第2行在文件结束标记（0x1A）之前不足四个字段，导入在这一行停止，"
         "这一行在标记之后的部分和其后的2行没有读取。"},
        {"d,a,1,2\r\n\x1A\r\n\x1A\x1A", "共导入1个地区，新建1个目录。"},
        // Counting goes on across reads: a CR at the end of one, its LF at the start of the next.
        {"d,a,1,2\ne\n" + std::string((1 << 20) - 11, 'x') + "\r\ny\r\nz",
         "共导入1个地区，新建1个目录。\n第2行不足四个字段，导入在这一行停止，其后的3行没有读取。"},
        {"d,a,1,2\n" + std::string((1 << 20) + 5, ' ') + ",b,3,4\x1A\n\nz\n",
         "共导入2个地区，新建2个目录。\n第2行有文件结束标记（0x1A），导入在这一行停止，其后的2行没有读取。"},
        {"d,a,1,2\ne\nf,b,1,2\x1Ag\nh\n",
         "共导入1个地区，新建1个目录。\n第2行不足四个字段，导入在这一行停止，其后的2行没有读取。"},
        {"\"地区名称\",\"所属\",\"邮政编码\",\"电话区号\"\n东城,北京,1,2\n\"西城,北京,3,4\n朝阳,北京,5,6\n海淀,北京,7,8\n",
         "共导入1个地区，新建1个目录。\n第3行的引号没有闭合，导入在这一行停止，其后的2行没有读取。\n"
         "文件按UTF-8编码读取，已转换为GBK。\n第一行是EXCEL表格的标题行，已跳过，各列按表格的顺序读取。"},
    };
    for (const auto& c : cases) {
        Database db;
        loadBase(db);
        EXPECT_EQ(qv::importSummary(importBytes(db, c.input)).toStdString(), c.summary) << c.input.substr(0, 60);
    }
}

TEST(Import, CancelledImportLeavesTheDatabaseAsItWas)
{
    const std::string bo = gbk("亳");
    std::string lines;
    for (int i = 0; i < 500; ++i)
        lines += "d" + std::to_string(i % 7) + "," + (i == 300 ? bo : "a") + ",1,2\r\n";
    for (const bool modified : {false, true}) {
        for (const bool atOnce : {true, false}) {  // before the first line, or at the question on line 301
            SCOPED_TRACE(testing::Message() << modified << atOnce);
            Database db;
            loadBase(db);
            db.ModifiedFlag = modified;
            const auto before = state(db);
            const std::vector<uint8_t> image = db.image.bytes();
            std::atomic<bool> cancel{atOnce};
            int asked = 0;
            QByteArray data = QByteArray::fromStdString(lines);
            QBuffer in(&data);
            in.open(QIODevice::ReadOnly);
            const ImportResult r = qv::importText(
                db, in, nullptr,
                [&](uint8_t, uint8_t) {
                    ++asked;
                    cancel = true;  // the question closed, then "stop"
                    return std::optional<char>();
                },
                {}, &cancel);
            EXPECT_EQ(r.stop, ImportResult::Cancelled);
            EXPECT_EQ(asked, atOnce ? 0 : 1);
            EXPECT_EQ(state(db), before);
            EXPECT_EQ(db.image.bytes(), image);
            EXPECT_TRUE(db.learned.empty());
            EXPECT_EQ(db.tree.NextDirectoryId(), 3);
        }
    }
}

TEST(Import, LongUtf8FilesAreConvertedInPiecesWithTheirLineNumbers)
{
    // About 3 MB, converted a megabyte at a time; the line ends of each kind
    // fall on the pieces' edges somewhere.
    const char* ends[] = {"\r\n", "\n", "\r"};
    for (const char* end : ends) {
        std::string lines;
        for (int i = 1; i <= 100000; ++i)
            lines += "北京" + std::to_string(i % 3) + ",东城区" + std::to_string(i) + ",010,100010" + end;
        Database db;
        loadBase(db);
        ImportResult r = importBytes(db, lines);
        EXPECT_EQ(r.encoding, ImportResult::Utf8);
        EXPECT_EQ(r.entries, 100000);
        EXPECT_EQ(r.directories, 100000);
        EXPECT_EQ(db.image.readEntry(db.image.entrySectionStart() + 48 * 77777).name, gbk("东城区77777"));

        const size_t at = lines.find("东城区90000,");
        // A character GBK lacks, a cut UTF-8 sequence, and in the same file
        // as GBK a stray byte, each megabytes in: named on their own line.
        const std::string gbkLines = gbk(lines.c_str());
        const size_t gbkAt = gbkLines.find(gbk("东城区90000,"));
        const struct {
            std::string input;
            const char* message;
        } faults[] = {
            {lines.substr(0, at) + "東城区😀" + lines.substr(at + 9), "第90000行的“😀”"},
            {lines.substr(0, at) + "东城\xE5\x8C" + lines.substr(at + 9), "文件是UTF-8编码，但第90000行不是有效的UTF-8文本（字节 E5 8C）"},
            {gbkLines.substr(0, gbkAt) + "\xFF" + gbkLines.substr(gbkAt), "第90000行的字节“FF”不是GBK字符"},
        };
        for (const auto& f : faults) {
            Database same;
            loadBase(same);
            r = importBytes(same, f.input);
            EXPECT_EQ(r.stop, ImportResult::Unconvertible);
            EXPECT_TRUE(r.message.startsWith(QString::fromUtf8(f.message))) << r.message.toStdString();
            EXPECT_EQ(same.image.entryCount(), 1);
        }
    }
}
