// qarvenda-cli run as a process on small databases, and its formatting and
// number handling called directly.
#include "TestImages.h"
#include "cli/Arguments.h"
#include "cli/Places.h"
#include "cli/TextOutput.h"
#include "exchange/Export.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace qv;

namespace {

struct Result {
    int code = -1;
    QByteArray out, err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // 广东省 > 深圳市, 河北省 > 张家口市, 甲/乙 (a caption holding a slash).
        qvtest::ImageBuilder b;
        b.dir(qvtest::gbk("广东省"), 0, 1).dir(qvtest::gbk("深圳市"), 1, 2).dir(qvtest::gbk("河北省"), 0, 3).dir(qvtest::gbk("张家口市"), 1, 4);
        b.dir(qvtest::gbk("甲/乙"), 0, 5).end(5).learnedCount(0);
        b.entry(qvtest::gbk("深圳"), 1, "518000", "0755").entry(qvtest::gbk("赤城"), 4, "075500", "075");
        b.entry(qvtest::gbk("福田区"), -2, "518048", "0755");  // deleted
        b.entry(qvtest::gbk("罗湖区"), 2, "518021", "0755").entry(qvtest::gbk("张家口"), 4, "075000", "0313");
        b.entry(qvtest::gbk("丙"), 5, "1", "01");
        ASSERT_TRUE(qvtest::writeFile(dir.filePath("kvrn.dat"), qvtest::makeFile(b.bytes)));
    }

    Result cli(const QStringList& args, const char* lang = "C", bool viaTerminal = false, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.remove("LC_CTYPE");
        env.insert("LANG", lang);
        // Without a kvrn.dat in the working folder the data folder is used: a temporary one.
        env.insert("QARVENDA_HOME", dir.filePath("home"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        const QString program = qEnvironmentVariable("QV_BINARY_DIR") + "/qarvenda-cli";
        if (viaTerminal) {
            // script(1) gives the program a terminal as its standard output.
            QStringList words{program};
            for (const QString& a : args)
                words << "'" + a + "'";
            p.start("script", {"-qec", words.join(' '), "/dev/null"});
        } else {
            p.start(program, args);
        }
        p.write(input);
        p.closeWriteChannel();
        Result r;
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        if (viaTerminal)
            r.out.replace("\r\n", "\n");
        return r;
    }

    QTemporaryDir dir;
};

TEST_F(CliTest, CommandsPrintTheWindowsRowsInItsOrder)
{
    const struct {
        QStringList args;
        int code;
        const char* out;
    } cases[] = {
        {{"find", "罗湖"}, 0, "深圳市\t罗湖区\t0755\t518021\n"},
        // Fuzzy on all fields; descending by area code, equal codes in file order.
        {{"find", "07"}, 0,
         "广东省\t深圳\t0755\t518000\n深圳市\t罗湖区\t0755\t518021\n张家口市\t赤城\t075\t075500\n"
         "张家口市\t张家口\t0313\t075000\n"},
        {{"--fields=initials", "find", "--exact", "zjk"}, 0, "张家口市\t张家口\t0313\t075000\n"},
        {{"find", "--fields", "name", "0755"}, 1, ""},
        {{"find", "福田"}, 1, ""},
        // Best match first: shorter names first, then ascending area code.
        {{"find", "--sort", "relevance", "07"}, 0,
         "张家口市\t赤城\t075\t075500\n广东省\t深圳\t0755\t518000\n张家口市\t张家口\t0313\t075000\n"
         "深圳市\t罗湖区\t0755\t518021\n"},
        // Directories too, with their paths; an export writes places only.
        {{"find", "--sort=relevance", "ｓｈｅｎ’ｚｈｅｎ"}, 0, "广东省\t广东省/深圳市/\t\t\n广东省\t深圳\t0755\t518000\n"},
        {{"find", "廣東"}, 0, "\t广东省/\t\t\n"},
        {{"find", "--format=json", "hebei"}, 0, "[\n{\"owner\":\"\",\"name\":\"河北省/\",\"areaCode\":\"\",\"postcode\":\"\"}\n]\n"},
        {{"export", "find", "shen-zhen"}, 0, "广东省,深圳,0755,518000\r\n"},
        {{"find", "--fields", "postcode", "广东"}, 1, ""},
        // The longest prefix: 0755 over 075; +86 and 0086 become 0.
        {{"where", "0755-8888 8888"}, 0, "广东省\t深圳\t0755\t518000\n深圳市\t罗湖区\t0755\t518021\n"},
        {{"where", "+86", "755", "8888"}, 0, "广东省\t深圳\t0755\t518000\n深圳市\t罗湖区\t0755\t518021\n"},
        {{"where", "(0086) 75 1234"}, 0, "张家口市\t赤城\t075\t075500\n"},
        {{"where", "999 1234"}, 1, ""},
        {{"ls"}, 0, "广东省\t1\n广东省/深圳市\t1\n河北省\t0\n河北省/张家口市\t2\n甲/乙\t1\n"},
        {{"ls", "/河北省/张家口市/"}, 0, "张家口市\t张家口\t0313\t075000\n张家口市\t赤城\t075\t075500\n"},
        {{"ls", "甲/乙"}, 0, "甲/乙\t丙\t01\t1\n"},
        {{"ls", "河北省"}, 1, ""},
        {{"--format", "json", "ls", "广东省"}, 0,
         "[\n{\"owner\":\"广东省\",\"name\":\"深圳\",\"areaCode\":\"0755\",\"postcode\":\"518000\"}\n]\n"},
        {{"find", "--format=json", "不在"}, 1, "[]\n"},
        {{"export", "--all"}, 0,
         "广东省,深圳,0755,518000\r\n张家口市,赤城,075,075500\r\n深圳市,罗湖区,0755,518021\r\n"
         "张家口市,张家口,0313,075000\r\n甲/乙,丙,01,1\r\n"},
        {{"export", "--format", "tsv", "where", "075"}, 0, "张家口市\t赤城\t075\t075500\n"},
        {{"export", "ls", "河北省"}, 1, ""},
    };
    for (const auto& c : cases) {
        const Result r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.out.toStdString(), c.out) << c.args.join(' ').toStdString();
    }
}

TEST_F(CliTest, ErrorsExitTwoWithAMessageInTheLocalesLanguageAndWriteNothing)
{
    QByteArray damaged = qvtest::readFile(dir.filePath("kvrn.dat"));
    damaged.truncate(damaged.size() - 9);
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("cut.dat"), damaged));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const struct {
        QStringList args;
        const char* lang;
        const char* message;
    } cases[] = {
        {{"--db", "none.dat", "ls"}, "C", "database file 'none.dat' does not exist"},
        {{"--db", "none.dat", "ls"}, "zh_CN.UTF-8", "数据库文件“none.dat”不存在"},
        {{"--db", "cut.dat", "find", "x"}, "en_US.UTF-8", "database file 'cut.dat' is damaged"},
        {{"--db", "cut.dat", "export", "--all"}, "zh_TW.UTF-8", "数据库文件“cut.dat”已损坏："},
        {{"find", " \t"}, "zh_CN.UTF-8", "请输入关键字！"},
        {{"where", "电话"}, "C", "no digits"},
        {{"ls", "广东省/广州市"}, "C", "no directory '广东省/广州市'"},
        {{"find", "--bogus", "x"}, "C", "unknown option '--bogus'"},
        {{"ls", "--exact"}, "C", "'--exact' does not apply to 'ls'"},
        {{"export"}, "C", "'export' needs --all"},
        {{"export", "ls"}, "C", "'export ls' needs a directory path"},
        {{"export", "--format", "json", "--encoding", "gbk", "--all"}, "C", "JSON is always UTF-8"},
    };
    for (const auto& c : cases) {
        const Result r = cli(c.args, c.lang);
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

TEST_F(CliTest, WithoutADatabaseHereItReadsTheDataFoldersOrTheBundledOneAndWritesNothing)
{
    ASSERT_TRUE(QFile::rename(dir.filePath("kvrn.dat"), dir.filePath("mine.dat")));
    const auto everything = [this] {
        QStringList all;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            all << it.next();
        all.sort();
        return all;
    };
    // No copy yet: the bundled database beside the built program is read
    // where it lies, and no data folder or copy is made.
    QStringList before = everything();
    Result r = cli({"find", "--exact", "深圳市"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "广东省\t广东省/深圳市/\t\t\n广东省\t深圳市\t0755\t518000\n");
    EXPECT_EQ(everything(), before);
    // The user's copy, once there, is what it reads.
    ASSERT_TRUE(QDir(dir.path()).mkdir("home"));
    ASSERT_TRUE(QFile::copy(dir.filePath("mine.dat"), dir.filePath("home/kvrn.dat")));
    before = everything();
    r = cli({"find", "赤城"});
    EXPECT_EQ(r.out.toStdString(), "张家口市\t赤城\t075\t075500\n");
    // --db names one file, and nothing else is tried.
    r = cli({"--db", "mine.dat", "ls", "广东省"});
    EXPECT_EQ(r.out.toStdString(), "广东省\t深圳\t0755\t518000\n");
    EXPECT_EQ(everything(), before);
    // A data folder that cannot be made needs no making: the bundle is read.
    ASSERT_TRUE(QFile::remove(dir.filePath("home/kvrn.dat")) && QDir(dir.path()).rmdir("home"));
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("home"), "a file"));
    before = everything();
    r = cli({"find", "--exact", "深圳市"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "广东省\t广东省/深圳市/\t\t\n广东省\t深圳市\t0755\t518000\n");
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(everything(), before);
}

TEST_F(CliTest, GbkExportIsTheWindowsTextExportOfTheSameRows)
{
    Database db;
    ASSERT_TRUE(db.load(dir.filePath("kvrn.dat")).ok());
    EntryRowSet found = searchEntries(db, "0", QueryOptions());
    sortEntryRows(found, kColumnAreaCode, -1);
    for (bool all : {false, true}) {
        QBuffer text;
        text.open(QIODevice::WriteOnly);
        writeText(all ? ExportSource::allRecords(db.image) : ExportSource::currentList(found), text);
        const QStringList rows = all ? QStringList{"--all"} : QStringList{"find", "0"};
        const Result g = cli(QStringList{"export", "--encoding", "gbk"} + rows);
        EXPECT_EQ(g.code, 0);
        EXPECT_EQ(g.out, text.data());
        EXPECT_EQ(cli(QStringList{"export"} + rows).out, gbk::toUtf8(text.data().toStdString()));
    }
}

TEST_F(CliTest, TerminalGetsAlignedColumnsAndAPipeGetsTabs)
{
    EXPECT_EQ(cli({"find", "--fields=areacode", "0755"}).out, "广东省\t深圳\t0755\t518000\n深圳市\t罗湖区\t0755\t518021\n");
    if (QStandardPaths::findExecutable("script").isEmpty())
        GTEST_SKIP() << "script(1) is not installed; the table itself is checked below";
    const Result r = cli({"find", "--fields=areacode", "0755"}, "C", true);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.toStdString(), "所属    地区名称  区号  邮编(时差)\n"
                                   "广东省  深圳      0755  518000\n"
                                   "深圳市  罗湖区    0755  518021\n"
                                   "共2个\n");
    EXPECT_EQ(cli({"where", "123"}, "C", true).code, 1);
}

TEST(CliFormat, AlignsByDisplayWidthAndEscapesCells)
{
    EXPECT_EQ(cli::displayWidth("abc"), 3);
    EXPECT_EQ(cli::displayWidth("北京市"), 6);
    EXPECT_EQ(cli::displayWidth("（０）"), 6);  // full-width forms
    EXPECT_EQ(cli::displayWidth("e\xCC\x81"), 1);  // e and a combining acute
    EXPECT_EQ(cli::displayWidth("\xFF\xE5"), 2);  // malformed bytes: one cell each

    const std::vector<cli::Column> columns{{"名", "n"}, {"Code", "c", true}};
    const struct {
        cli::Layout layout;
        const char* out;
    } cases[] = {
        // No blanks after the last cell with text; numbers to the right; an empty number is null.
        {cli::Layout::Aligned, "名      Code\nab c       1\n北京市    22\n\"x\"\n共3个\n"},
        {cli::Layout::Tabs, "ab c\t1\n北京市\t22\n\"x\"\t\n"},
        {cli::Layout::Json,
         "[\n{\"n\":\"ab\\tc\",\"c\":1},\n{\"n\":\"北京市\",\"c\":22},\n{\"n\":\"\\\"x\\\"\",\"c\":null}\n]\n"},
    };
    for (const auto& c : cases) {
        cli::Output out(-1);
        cli::TableWriter table(out, c.layout, columns);
        table.add({"ab\tc", "1"});
        table.add({"北京市", "22"});
        table.add({"\"x\"", ""});
        table.finish("共3个");
        out.flush();
        EXPECT_EQ(out.text(), c.out);
    }
}

TEST(CliFormat, GbkOutputConvertsAcrossPiecesAndSplitCharacters)
{
    std::string all;
    for (int i = 0; i < 150000; ++i)  // 2 MB: more than one piece
        all += qvtest::gbk("深圳市,0755\r\n");
    all += qvtest::gbk("尾");
    cli::Output out(-1, cli::Conversion::GbkToUtf8);
    for (size_t i = 0; i < all.size(); i += 7)  // writes that cut characters in two
        out.write(std::string_view(all).substr(i, 7));
    out.flush();
    EXPECT_EQ(out.text(), gbk::toUtf8(all).toStdString());
}

TEST(CliNumbers, DigitsAsDialled)
{
    const struct {
        const char* typed;
        const char* digits;
    } cases[] = {
        {"0755-8888 8888", "075588888888"},   {"+86 10 6512 3456", "01065123456"}, {"0086-10-6512", "0106512"},
        {"00852 2345 6789", "0085223456789"}, {"+852 2345", "008522345"},          {"＋８６ ７５５", "0755"},
        {"86 10 6512", "86106512"},           {"tel. 010 (x+1)", "010"},           {"无", ""},
        {"+0086 10 6512", "0106512"},         {"（分机）0755 8", "07558"},         {"＃０２０", "020"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::dialDigits(c.typed), c.digits) << c.typed;
}

// A database for the work a terminal user does: numbers, postcodes, lists.
class CliWorkTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        using qvtest::gbk;
        qvtest::ImageBuilder b;
        b.dir(gbk("北京市"), 0, 1).dir(gbk("市辖区"), 1, 10).dir(gbk("广东省"), 0, 2).dir(gbk("深圳市"), 1, 3);
        b.dir(gbk("海南省"), 0, 4).dir(gbk("海口市"), 1, 5).dir(gbk("海外"), 0, 6).dir(gbk("香港"), 1, 7);
        b.dir(gbk("美国"), 1, 8).dir(gbk("上海市"), 0, 9).dir(gbk("天津市"), 0, 11).dir(gbk("市辖区"), 1, 12);
        b.dir(gbk("河北省"), 0, 13).end(13).learnedCount(0);
        b.entry(gbk("北京"), 1, "100000", "010").entry(gbk("东城区"), 10, "100010", "010");
        b.entry(gbk("深圳"), 2, "518000", "0755").entry(gbk("南山区"), 3, "518051", "0755");
        b.entry(gbk("龙岗区"), 3, "518172", "0755").entry(gbk("海口"), 5, "570000", "0898");
        b.entry(gbk("中西区"), 7, "+0", "00852").entry(gbk("纽约"), 8, "-13", "001");
        b.entry(gbk("和平区"), 12, "300041", "022").entry(gbk("石家庄"), 13, "050000", "0311");
        for (int i = 0; i < 10; ++i)
            b.entry(gbk("上海") + std::to_string(i), 9, "200000", "021");
        ASSERT_TRUE(qvtest::writeFile(dir.filePath("work.dat"), qvtest::makeFile(b.bytes)));
    }

    Result work(QStringList args, const char* lang = "C", const QByteArray& input = {})
    {
        return cli(QStringList{"--db", "work.dat"} + args, lang, false, input);
    }
};

// Strict RFC 4180: records end in CR LF, a quoted field may hold anything.
std::vector<std::vector<std::string>> readCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            record.push_back(std::move(field));
            field.clear();
            if (c == '\r') {
                records.push_back(std::move(record));
                record.clear();
                ++i;
            }
        } else {
            field += c;
        }
    }
    if (!field.empty() || !record.empty())
        records.push_back({"unterminated record"});
    return records;
}

TEST_F(CliWorkTest, WhereReadsNumbersAsPeopleWriteThem)
{
    const struct {
        const char* typed;
        int code;
        const char* areaOrMessage;  // the area code of the first row, or a part of the message
    } cases[] = {
        {"010-6512 3456", 0, "010"},
        {"(010) 6512 3456", 0, "010"},
        {"010.6512.3456", 0, "010"},
        {"+86 10 6512 3456", 0, "010"},
        {"+86 (0)10 6512 3456", 0, "010"},
        {"+86 010 6512 3456", 0, "010"},
        {"+86-10-65123456", 0, "010"},
        {"0086 10 6512 3456", 0, "010"},
        {"Fax 010 6512 3456", 0, "010"},  // an x before the number is no extension
        {"0086 0755 8888 8888", 0, "0755"},
        {"+86-0755-86013388", 0, "0755"},
        {"86-755-8888-8888", 0, "0755"},
        {"86 (0)755 8888 8888", 0, "0755"},
        {"755 8888 8888", 0, "0755"},
        {"0755-8888 8888 转 123", 0, "0755"},
        {"0755 8888 8888 ext. 12", 0, "0755"},
        {"0755-8888-8888 x12", 0, "0755"},
        {"0755 8888 8888#12", 0, "0755"},
        {"０７５５－８８８８８８８８", 0, "0755"},
        {"＋８６ ８９８ ６６６６ ６６６６", 0, "0898"},
        {"+86 0898 6666 6666", 0, "0898"},
        {"021-6666 6666", 0, "021"},
        {"Tel: 022-2345 6789", 0, "022"},
        {"0311 8888 8888", 0, "0311"},
        {"+852 2345 6789", 0, "00852"},
        {"00852-2345-6789", 0, "00852"},
        {"+1 (212) 555-0100", 0, "001"},
        {"13800138000", 1, "'13800138000' is a mobile number; mobile numbers have no area code"},
        {"+86 138 0013 8000", 1, "is a mobile number"},
        {"0086 139-1234-5678", 1, "is a mobile number"},
        {"400-820-8820", 1, "'400-820-8820' is a 400 or 800 service number"},
        {"800 820 8820", 1, "is a 400 or 800 service number"},
        {"8888 8888", 1, "the number '8888 8888' has no area code"},
        {"+86", 1, "has no area code"},
        {"0999 1234 5678", 1, "no area code begins the number '0999 1234 5678'"},
        // Pasted from web pages: labels, full-width brackets, colons and markers before the number.
        {"传真（Fax）：0755-8888 8888", 0, "0755"},
        {"（分机）0755-8888 8888", 0, "0755"},
        {"＃0755 8888 8888", 0, "0755"},
        {"电话：（０１０）６５１２ ３４５６ 分机 8", 0, "010"},
        {"+0086 10 6512 3456", 0, "010"},
        {"010 12345", 0, "010"},  // a written trunk 0: an area code follows
        {"+86 95588", 1, "'+86 95588' is a nationwide service number"},
        {"0086 10086", 1, "is a nationwide service number"},
        {"12345", 1, "is a nationwide service number"},
        {"+86 110", 1, "the number '+86 110' is too short to hold an area code and a subscriber number"},
        {"+", 2, "no digits in the number '+'"},
        {"abc", 2, "no digits"},
        {"（）—", 2, "no digits"},
    };
    for (const auto& c : cases) {
        const Result r = work({"where", c.typed});
        EXPECT_EQ(r.code, c.code) << c.typed;
        if (c.code == 0) {
            EXPECT_EQ(r.out.split('\n').front().split('\t').value(2).toStdString(), c.areaOrMessage) << c.typed;
            EXPECT_TRUE(r.err.isEmpty()) << c.typed;
        } else {
            EXPECT_TRUE(r.out.isEmpty()) << c.typed;
            EXPECT_TRUE(r.err.contains(c.areaOrMessage)) << c.typed << ": " << r.err.toStdString();
        }
    }
    // The same reasons in Chinese.
    const struct {
        const char* typed;
        const char* message;
    } chinese[] = {
        {"13800138000", "“13800138000”是手机号码，手机号码没有区号。"},
        {"400-820-8820", "是 400 或 800 服务号码"},
        {"8888 8888", "号码“8888 8888”没有区号"},
        {"0999 1234", "号码“0999 1234”的开头不是任何区号。"},
        {"95588", "“95588”是全国统一的服务号码"},
        {"+86 110", "号码“+86 110”太短"},
    };
    for (const auto& c : chinese)
        EXPECT_TRUE(work({"where", c.typed}, "zh_CN.UTF-8").err.contains(c.message)) << c.typed;
}

TEST_F(CliWorkTest, BatchesLoadOnceAndAnnotateEachLine)
{
    const struct {
        QStringList args;
        const char* input;
        int code;
        const char* out;
        const char* err;
    } cases[] = {
        // Blank lines are passed over; a line that finds nothing still comes back.
        {{"where", "-"},
         "0755-8888 8888\n\n13800138000\r\nabc\n+86 10 6512 3456",
         0,
         "0755-8888 8888\t广东省\t深圳\t0755\t518000\n0755-8888 8888\t深圳市\t南山区\t0755\t518051\n"
         "0755-8888 8888\t深圳市\t龙岗区\t0755\t518172\n13800138000\t\t\t\t\nabc\t\t\t\t\n"
         "+86 10 6512 3456\t北京市\t北京\t010\t100000\n+86 10 6512 3456\t市辖区\t东城区\t010\t100010\n",
         "line 3: '13800138000' is a mobile number"},
        {{"where", "--count", "-"}, "0755 1\n010 2\n13800138000\n", 0, "0755 1\t3\n010 2\t2\n13800138000\t0\n", ""},
        {{"where", "-"}, "8888 8888\n", 1, "8888 8888\t\t\t\t\n", "line 1: the number"},
        {{"find", "--exact", "-"},
         "海口\n-\n纽约\n",
         0,
         "海口\t海口市\t海口\t0898\t570000\n-\t\t\t\t\n纽约\t美国\t纽约\t001\t-13\n",
         ""},
        {{"find", "-"}, " \n", 1, "", ""},
        // A byte-order mark before the first line is no part of it.
        {{"post", "-"},
         "\xEF\xBB\xBF" "51805\n",
         0,
         "51805\t深圳市\t南山区\t0755\t518051\n",
         "line 1: no place has the postcode '51805';"},
        {{"find", "--exact", "-"}, "\xEF\xBB\xBF海口\n", 0, "海口\t海口市\t海口\t0898\t570000\n", ""},
        {{"where", "-"}, "\xEF\xBB\xBF" "0898 1\n", 0, "0898 1\t海口市\t海口\t0898\t570000\n", ""},
        {{"post", "-"}, "\xEF\xBB\xBF", 1, "", ""},
        {{"post", "-"},
         "518000\n518099\n",
         0,
         "518000\t广东省\t深圳\t0755\t518000\n518099\t广东省\t深圳\t0755\t518000\n518099\t深圳市\t南山区\t0755\t518051"
         "\n",
         "line 2: no place has the postcode '518099'; these share its first 4 digits '5180' (a prefix match)"},
        {{"--format", "json", "where", "-"},
         "0898 1\n",
         0,
         "[\n{\"input\":\"0898 "
         "1\",\"owner\":\"海口市\",\"name\":\"海口\",\"areaCode\":\"0898\",\"postcode\":\"570000\"}\n]\n",
         ""},
        {{"find", "--format=csv", "--header", "-"},
         "海口\n",
         0,
         "输入,所属,地区名称,区号,邮编(时差)\r\n海口,海口市,海口,0898,570000\r\n",
         ""},
    };
    for (const auto& c : cases) {
        const Result r = work(c.args, "C", c.input);
        EXPECT_EQ(r.code, c.code) << c.input;
        EXPECT_EQ(r.out.toStdString(), c.out) << c.input;
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
    // A line longer than a megabyte is cut, not held whole; the next line still counts.
    const Result longLine = work({"where", "--count", "-"}, "C", QByteArray(3 << 20, '7') + "\n0898\n");
    EXPECT_EQ(longLine.code, 0);
    EXPECT_EQ(longLine.out.count('\n'), 2);
    EXPECT_TRUE(longLine.out.startsWith(QByteArray(1 << 20, '7') + "\t0\n")) << longLine.out.left(40).toStdString();
    EXPECT_TRUE(longLine.out.endsWith("\n0898\t1\n")) << longLine.out.right(40).toStdString();
}

TEST_F(CliWorkTest, PostcodesExactlyOrByTheLongestSharedPrefix)
{
    const struct {
        const char* code;
        int exit;
        const char* names;  // the name column, joined by blanks
        const char* note;
    } cases[] = {
        {"518000", 0, "深圳", ""},
        {"518057", 0, "南山区", "first 5 digits '51805' (a prefix match)"},
        {"518099", 0, "深圳 南山区", "first 4 digits '5180'"},
        {"100001", 0, "北京", "first 5 digits '10000'"},
        {"57-0000", 0, "海口", ""},
        {"５７００００", 0, "海口", ""},
        {"519999", 1, "", "no place has the postcode '519999' or one beginning with '5199'"},
        {"050001", 0, "石家庄", "first 5 digits '05000'"},
        // The query itself is the prefix first.
        {"0500", 0, "石家庄", "no place has the postcode '0500'; these begin with it (a prefix match)"},
        {"5180", 0, "深圳 南山区", "'5180'; these begin with it"},
        {"51805", 0, "南山区", "'51805'; these begin with it"},
        {"5199", 1, "", "no place has a postcode beginning with '5199'"},
        {"518", 1, "", "a prefix to look for takes at least 4 digits"},
        {"ab12", 2, "", "the postcode 'ab12' must be digits"},
    };
    for (const auto& c : cases) {
        const Result r = work({"post", c.code});
        EXPECT_EQ(r.code, c.exit) << c.code;
        QStringList names;
        for (const QByteArray& line : r.out.split('\n'))
            if (!line.isEmpty())
                names << QString::fromUtf8(line.split('\t').value(1));
        EXPECT_EQ(names.join(' ').toStdString(), c.names) << c.code;
        EXPECT_TRUE(r.err.contains(c.note)) << c.code << ": " << r.err.toStdString();
    }
}

TEST_F(CliWorkTest, CsvIsRfc4180AndKvrnIsTheTextExport)
{
    using qvtest::gbk;
    qvtest::ImageBuilder b;
    b.dir(gbk("甲,乙"), 0, 1).dir(gbk("引\"号"), 0, 2).end(2).learnedCount(0);
    b.entry(gbk("X,Y"), 1, "518000", "0755").entry(gbk("说\"好\""), 2, "1", "01");
    b.entry(gbk("上\r\n下"), 1, "2", "02").entry(gbk("\x1b[31m红"), 2, "3", "03").entry(gbk("平常"), 1, "4", "04");
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("csv.dat"), qvtest::makeFile(b.bytes)));
    const std::vector<std::vector<std::string>> expected = {{"甲,乙", "X,Y", "0755", "518000"},
                                                            {"引\"号", "说\"好\"", "01", "1"},
                                                            {"甲,乙", "上\r\n下", "02", "2"},
                                                            {"引\"号", "\x1b[31m红", "03", "3"},
                                                            {"甲,乙", "平常", "04", "4"}};
    for (const char* encoding : {"utf-8", "gbk"}) {
        const Result r = cli({"--db", "csv.dat", "export", "--all", "--encoding", encoding});
        EXPECT_EQ(r.code, 0);
        const std::string text =
            std::string(encoding) == "gbk" ? gbk::toUtf8(r.out.toStdString()).toStdString() : r.out.toStdString();
        EXPECT_EQ(readCsv(text), expected) << encoding;
        // An ordinary row is the text export's line.
        EXPECT_TRUE(text.find("\r\n甲,乙,平常,04,4\r\n") == std::string::npos);
        EXPECT_TRUE(text.find("\r\n\"甲,乙\",平常,04,4\r\n") != std::string::npos) << text;
    }
    EXPECT_EQ(cli({"--db", "csv.dat", "find", "--format=csv", "--header", "--fields=areacode", "0"}).out.toStdString(),
              "所属,地区名称,区号,邮编(时差)\r\n\"甲,乙\",\"X,Y\",0755,518000\r\n\"甲,乙\",平常,04,4\r\n"
              "\"引\"\"号\",\x1b[31m红,03,3\r\n\"甲,乙\",\"上\r\n下\",02,2\r\n\"引\"\"号\",\"说\"\"好\"\"\",01,1\r\n");

    // kvrn: the window's text export, byte for byte.
    Database db;
    ASSERT_TRUE(db.load(dir.filePath("csv.dat")).ok());
    QBuffer text;
    text.open(QIODevice::WriteOnly);
    writeText(ExportSource::allRecords(db.image), text);
    EXPECT_EQ(cli({"--db", "csv.dat", "export", "--all", "--format", "kvrn", "--encoding", "gbk"}).out, text.data());
    EXPECT_EQ(cli({"find", "--format", "kvrn", "--fields=areacode", "0755"}).out.toStdString(),
              "广东省,深圳,0755,518000\r\n深圳市,罗湖区,0755,518021\r\n");

    // A terminal gets no control bytes, whatever the format.
    if (QStandardPaths::findExecutable("script").isEmpty())
        GTEST_SKIP() << "script(1) is not installed";
    for (const char* format : {"csv", "kvrn", "tsv", "table", "jsonl"}) {
        const Result t = cli({"--db", "csv.dat", "find", "--format", format, "红"}, "C", true);
        EXPECT_EQ(t.code, 0) << format;
        EXPECT_FALSE(t.out.contains('\x1b')) << format;
        EXPECT_TRUE(t.out.contains("[31m")) << format;
    }
}

TEST_F(CliWorkTest, ListingsCountsSortingAndJsonLines)
{
    const struct {
        QStringList args;
        int code;
        const char* out;
    } cases[] = {
        {{"ls", "深圳市"}, 0, "深圳市\t南山区\t0755\t518051\n深圳市\t龙岗区\t0755\t518172\n"},
        {{"ls", "海外/香港"}, 0, "香港\t中西区\t00852\t+0\n"},
        {{"find", "--count", "区"}, 0, "5\n"},
        {{"find", "--count", "--format=json", "不在"}, 1, "0\n"},
        {{"where", "--count", "0755"}, 0, "3\n"},
        // The directories found come first, with their paths.
        {{"find", "--sort", "postcode:desc", "区"},
         0,
         "北京市\t北京市/市辖区/\t\t\n天津市\t天津市/市辖区/\t\t\n深圳市\t龙岗区\t0755\t518172\n深圳市\t南山区\t0755\t518051\n市辖区\t和平区\t022\t300041\n"
         "市辖区\t东城区\t010\t100010\n香港\t中西区\t00852\t+0\n"},
        {{"ls", "--sort=name", "深圳市"}, 0, "深圳市\t龙岗区\t0755\t518172\n深圳市\t南山区\t0755\t518051\n"},
        {{"find", "--header", "海口"},
         0,
         "所属\t地区名称\t区号\t邮编(时差)\n海南省\t海南省/海口市/\t\t\n海口市\t海口\t0898\t570000\n"},
        {{"find", "--format", "jsonl", "--sort", "areacode", "区"},
         0,
         "{\"owner\":\"北京市\",\"name\":\"北京市/市辖区/\",\"areaCode\":\"\",\"postcode\":\"\"}\n"
         "{\"owner\":\"天津市\",\"name\":\"天津市/市辖区/\",\"areaCode\":\"\",\"postcode\":\"\"}\n"
         "{\"owner\":\"香港\",\"name\":\"中西区\",\"areaCode\":\"00852\",\"postcode\":\"+0\"}\n"
         "{\"owner\":\"市辖区\",\"name\":\"东城区\",\"areaCode\":\"010\",\"postcode\":\"100010\"}\n"
         "{\"owner\":\"市辖区\",\"name\":\"和平区\",\"areaCode\":\"022\",\"postcode\":\"300041\"}\n"
         "{\"owner\":\"深圳市\",\"name\":\"南山区\",\"areaCode\":\"0755\",\"postcode\":\"518051\"}\n"
         "{\"owner\":\"深圳市\",\"name\":\"龙岗区\",\"areaCode\":\"0755\",\"postcode\":\"518172\"}\n"},
        {{"--format", "jsonl", "ls"}, 0, nullptr},
    };
    for (const auto& c : cases) {
        const Result r = work(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        if (c.out)
            EXPECT_EQ(r.out.toStdString(), c.out) << c.args.join(' ').toStdString();
        else
            EXPECT_TRUE(r.out.startsWith("{\"path\":\"北京市\",\"places\":1}\n")) << r.out.toStdString();
    }
    // A name that more than one directory has lists their paths.
    const Result twice = work({"ls", "市辖区"});
    EXPECT_EQ(twice.code, 2);
    EXPECT_TRUE(twice.out.isEmpty());
    EXPECT_TRUE(
        twice.err.contains("2 directories are called '市辖区'; give the whole path:\n  北京市/市辖区\n  天津市/市辖区"))
        << twice.err.toStdString();
    EXPECT_EQ(work({"ls", "天津市/市辖区"}).out.toStdString(), "市辖区\t和平区\t022\t300041\n");

    // Counts are right-aligned: every line of the tree ends in the same column.
    const Result tree = work({"ls", "--format", "table"});
    std::set<int> ends;
    for (const QByteArray& line : tree.out.split('\n'))
        if (!line.isEmpty())
            ends.insert(cli::displayWidth(line.toStdString()));
    EXPECT_EQ(ends.size(), 1u) << tree.out.toStdString();
    EXPECT_TRUE(tree.out.contains("上海市        10\n")) << tree.out.toStdString();

    for (const QStringList& refused :
         {QStringList{"ls", "--sort", "name"}, QStringList{"ls", "--count"}, QStringList{"find", "--sort", "size", "x"},
          QStringList{"find", "--sort", "relevance:desc", "x"},
          QStringList{"find", "--header", "--format", "json", "x"}, QStringList{"where", "--format", "kvrn", "-"},
          QStringList{"export", "--count", "find", "x"}}) {
        const Result r = work(refused);
        EXPECT_EQ(r.code, 2) << refused.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST_F(CliWorkTest, MessagesGiveTheirReasonInBothLanguagesAndFollowAGbkLocale)
{
    // Cut inside the compressed stream.
    QByteArray cut = qvtest::readFile(dir.filePath("work.dat"));
    cut.truncate(cut.size() / 2);
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("cut.dat"), cut));
    const Result en = cli({"--db", "cut.dat", "ls"}, "en_US.UTF-8");
    const Result zh = cli({"--db", "cut.dat", "ls"}, "zh_CN.UTF-8");
    EXPECT_EQ(en.code, 2);
    EXPECT_TRUE(en.err.contains("database file 'cut.dat' is damaged: the compressed data is incomplete: "))
        << en.err.toStdString();
    EXPECT_TRUE(zh.err.contains("数据库文件“cut.dat”已损坏：压缩数据不完整：应有 ")) << zh.err.toStdString();

    // Text that is not UTF-8, as an argument and as a line.
    for (const char* lang : {"C", "zh_CN.UTF-8"}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.insert("LANG", lang);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start("sh", {"-c", "exec \"$0\" find \"$(printf 'a\\377')\"",
                       qEnvironmentVariable("QV_BINARY_DIR") + "/qarvenda-cli"});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_TRUE(p.readAllStandardError().contains(std::string(lang) == "C"
                                                          ? "qarvenda-cli: the input is not valid UTF-8 text"
                                                          : "qarvenda-cli：输入不是有效的 UTF-8 文本"));
    }
    const Result line = work({"find", "-"}, "C", "\xff\xfe\n");
    EXPECT_TRUE(line.err.contains("line 1: the input is not valid UTF-8 text (byte 1: FF;")) << line.err.toStdString();
    // Overlong forms, a surrogate and a code point above U+10FFFF are not UTF-8 either.
    const Result forms = work({"find", "-"}, "C", "\xc0\xaf\n\xe0\x80\xaf\n\xed\xa0\x80\n\xf4\x90\x80\x80\n海口\n");
    for (const char* n : {"line 1: the input is not", "line 2: the input is not", "line 3: the input is not",
                          "line 4: the input is not"})
        EXPECT_TRUE(forms.err.contains(n)) << n << forms.err.toStdString();
    EXPECT_FALSE(forms.err.contains("line 5"));
    EXPECT_TRUE(forms.out.endsWith("海口\t海口市\t海口\t0898\t570000\n"));
    const Result lineZh = work({"find", "-"}, "zh_CN.UTF-8", "\xff\xfe\n");
    EXPECT_TRUE(lineZh.err.contains("第 1 行：输入不是有效的 UTF-8 文本")) << lineZh.err.toStdString();

    // Control characters the user typed are not sent back to the terminal.
    const Result escape = work({"where", "\x1b[2J\x07"});
    EXPECT_EQ(escape.code, 1);
    EXPECT_TRUE(escape.err.contains("the number ' [2J ' has no area code")) << escape.err.toStdString();

    // Under zh_CN.GBK, input is read and output written in GBK.
    const Result gbkRun = work({"find", "-"}, "zh_CN.GBK", QByteArray::fromStdString(qvtest::gbk("海口\n")));
    EXPECT_EQ(gbkRun.code, 0);
    EXPECT_EQ(gbkRun.out.toStdString(), qvtest::gbk("海口\t海口市\t海口\t0898\t570000\n"));
    // A byte-order mark says the lines are UTF-8, whatever the locale.
    EXPECT_EQ(work({"find", "-"}, "zh_CN.GBK", "\xEF\xBB\xBF海口\n").out.toStdString(), gbkRun.out.toStdString());
    const Result gbkMessage = work({"where", "13800138000"}, "zh_CN.GBK");
    EXPECT_TRUE(gbkMessage.err.contains(QByteArray::fromStdString(qvtest::gbk("是手机号码"))));
    const Result gbkTable =
        work({"--format", "table", "find", "-"}, "zh_CN.GBK", QByteArray::fromStdString(qvtest::gbk("海口\n")));
    EXPECT_TRUE(gbkTable.out.startsWith(QByteArray::fromStdString(qvtest::gbk("输入  所属"))))
        << gbkTable.out.toStdString();
    // A lead byte alone, and a pair GBK gives to private use, are no GBK text.
    const Result invalidGbk = work({"find", "-"}, "zh_CN.GBK", "\x81\n\xB1\xB1\xFE\x80\n");
    EXPECT_TRUE(invalidGbk.err.contains(QByteArray::fromStdString(qvtest::gbk("第 1 行：输入不是有效的 GBK 文本（第 1 个字节起的 81；"))));
    EXPECT_TRUE(invalidGbk.err.contains(QByteArray::fromStdString(qvtest::gbk("第 2 行：输入不是有效的 GBK 文本（第 3 个字节起的 FE 80；"))))
        << invalidGbk.err.toStdString();
}

TEST(CliText, ReasonsInEnglishAndHelpWithinEightyColumns)
{
    const struct {
        const char* zh;
        const char* en;
    } reasons[] = {
        {"压缩数据不完整：应有 179284 字节，只解出 4096 字节",
         "the compressed data is incomplete: 179284 bytes expected, only 4096 decompressed"},
        {"压缩数据已损坏", "the compressed data is corrupt"},
        {"数据库文件太短（3 字节）", "the database file is too short (3 bytes)"},
        {"文件头中的数据长度（12 字节）小于空数据库的 40 字节",
         "the data length in the header (12 bytes) is less than the 40 bytes of an empty database"},
        {"第 3 个目录的编号为 -7，而目录编号必须是正数",
         "directory 3 has the id -7, but directory ids must be positive"},
        {"数据库文件“/tmp/a”是符号链接，它指向的“/tmp/b”不存在",
         "the database file '/tmp/a' is a symbolic link to '/tmp/b', which does not exist"},
        {"从未见过的原因", "从未见过的原因"},  // an unknown reason keeps its words
        // The first copy's failures, each with its cause.
        {"无法建立数据文件夹“/h/q”：该位置已有同名文件/目录。",
         "cannot create the data folder '/h/q': a file or folder of that name is in the way"},
        {"无法建立数据文件夹“/h/a/q”（“/h/a”）：链接指向不存在的文件。",
         "cannot create the data folder '/h/a/q' ('/h/a': the link points to a file that does not exist)"},
        {"无法把随程序附带的数据库复制到数据文件夹：无法写入“/h/q/kvrn.dat”：磁盘空间不足。",
         "cannot copy the bundled database to the data folder: cannot write '/h/q/kvrn.dat': no space left on the disk"},
        {"无法把随程序附带的数据库复制到数据文件夹：无法在“/h/q”中建立文件：没有写入权限",
         "cannot copy the bundled database to the data folder: cannot create a file in '/h/q': permission denied"},
    };
    for (const auto& r : reasons)
        EXPECT_EQ(cli::englishReason(r.zh), r.en);
    for (bool chinese : {true, false}) {
        const QStringList lines = QString::fromStdString(cli::usageText(chinese)).split('\n');
        EXPECT_GT(lines.size(), 30);
        for (const QString& line : lines)
            EXPECT_LE(cli::displayWidth(line.toStdString()), 80) << line.toStdString();
    }
}

// The indexes of area codes and postcodes against a plain pass over the
// records, with codes enough that their tables grow several times.
TEST(CliIndex, FindsWhatAPassOverTheRecordsFinds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qvtest::ImageBuilder b;
    b.dir(qvtest::gbk("甲"), 0, 1).end(1).learnedCount(0);
    for (int i = 0; i < 6000; ++i)
        b.entry("p" + std::to_string(i), i % 13 == 0 ? -1 : 1, std::to_string(100000 + i * 7 % 30011),
                "0" + std::to_string(100 + i % 2500));
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("kvrn.dat"), qvtest::makeFile(b.bytes)));
    Database db;
    ASSERT_TRUE(db.load(dir.filePath("kvrn.dat")).ok());
    std::map<std::string, std::vector<int32_t>> byArea, byPost;
    db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (entryOwner(rec) < 0)
            return;
        byArea[std::string(readField(rec + entry_field::kAreaLen, kAreaCodeCapacity))].push_back(pos);
        byPost[std::string(readField(rec + entry_field::kPostLen, kPostcodeCapacity))].push_back(pos);
    });
    ASSERT_GT(byArea.size(), 2000u);

    const cli::AreaCodeIndex areas(db.image);
    for (const auto& [area, positions] : byArea) {
        const int code = areas.longestPrefix(area);
        ASSERT_GE(code, 0) << area;
        EXPECT_EQ(areas.count(code), positions.size()) << area;
        EXPECT_EQ(areas.positions(code), positions) << area;
    }
    EXPECT_EQ(areas.positions(areas.longestPrefix("0260" "8888")), byArea["0260"]);  // no 02608
    EXPECT_EQ(areas.positions(areas.longestPrefix("01001" "8888")), byArea["01001"]);
    EXPECT_EQ(areas.longestPrefix("09"), -1);

    const cli::PostcodeIndex posts(db.image);
    for (const auto& [post, positions] : byPost) {
        const cli::PostcodeIndex::Match m = posts.find(post);
        EXPECT_TRUE(m.exact);
        EXPECT_EQ(posts.count(m), positions.size());
        EXPECT_EQ(posts.positions(m), positions) << post;
    }
    // A postcode that is not there: every place whose postcode begins with it, or shares the longest prefix.
    for (const std::string missing : {"1000009", "13000x", "1299", "10005"}) {
        const cli::PostcodeIndex::Match m = posts.find(missing);
        std::vector<int32_t> expected;
        size_t shared = 0;
        for (size_t n = missing.size(); n >= 4 && expected.empty(); --n)
            for (const auto& [post, positions] : byPost)
                if (post.compare(0, n, missing, 0, n) == 0) {
                    expected.insert(expected.end(), positions.begin(), positions.end());
                    shared = n;
                }
        std::sort(expected.begin(), expected.end());
        EXPECT_FALSE(m.exact);
        EXPECT_EQ(m.shared, shared) << missing;
        EXPECT_EQ(posts.positions(m), expected) << missing;
    }
}

// post on the bundled database against a plain pass over its rows: every
// 4-, 5- and 6-digit prefix of its postcodes, and each postcode with its last
// digit changed, in one batch, rows and notes.
TEST(CliBundled, PostFindsWhatAPassOverTheRowsFinds)
{
    const QString file = qEnvironmentVariable("QV_BINARY_DIR") + "/kvrn.dat";
    Database db;
    if (!QFile::exists(file))
        GTEST_SKIP() << "no bundled database at " << file.toStdString();
    ASSERT_TRUE(db.load(file).ok());
    std::vector<std::pair<std::string, std::string>> rows;  // postcode, "name\tarea code\tpostcode"
    std::set<std::string> queries;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const std::string post(readField(rec + entry_field::kPostLen, kPostcodeCapacity));
        if (entryOwner(rec) < 0)
            return;
        rows.emplace_back(post, gbk::toUtf8(readField(rec + entry_field::kNameLen, kNameCapacity)).toStdString() +
                                    "\t" + std::string(readField(rec + entry_field::kAreaLen, kAreaCodeCapacity)) +
                                    "\t" + post);
        if (post.size() == 6 && post.find_first_not_of("0123456789") == std::string::npos)
            for (const std::string& q :
                 {post.substr(0, 4), post.substr(0, 5), post, post.substr(0, 5) + char('0' + (post[5] - '0' + 5) % 10)})
                queries.insert(q);
    });
    ASSERT_GT(queries.size(), 3000u);
    // The rule, by a pass over the rows for each length from the whole query down.
    std::map<std::string, std::multiset<std::string>> expected;
    std::string input, notes;
    int line = 0;
    for (const std::string& q : queries) {
        input += q + "\n";
        std::multiset<std::string>& found = expected[q];
        for (const auto& [post, row] : rows)
            if (post == q)
                found.insert(row);
        size_t n = q.size();
        for (; found.empty() && n >= 4; --n)
            for (const auto& [post, row] : rows)
                if (post.compare(0, n, q, 0, n) == 0)
                    found.insert(row);
        const std::string at =
            "qarvenda-cli: line " + std::to_string(++line) + ": no place has the postcode '" + q + "'; ";
        if (n + 1 == q.size())
            notes += at + "these begin with it (a prefix match)\n";
        else if (n + 1 < q.size())
            notes += at + "these share its first " + std::to_string(n + 1) + " digits '" + q.substr(0, n + 1) +
                     "' (a prefix match)\n";
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_CTYPE"})
        env.remove(name);
    env.insert("LANG", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QV_BINARY_DIR") + "/qarvenda-cli", {"--db", file, "post", "-"});
    p.write(QByteArray::fromStdString(input));
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    std::map<std::string, std::multiset<std::string>> got;
    for (const QByteArray& l : p.readAllStandardOutput().split('\n'))
        if (const QList<QByteArray> cells = l.split('\t'); cells.size() == 5)
            got[cells[0].toStdString()].insert((cells[2] + '\t' + cells[3] + '\t' + cells[4]).toStdString());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(p.readAllStandardError().toStdString(), notes);
}

// Every example of the manual, run on the bundled database, finds what the
// manual says it finds.
TEST(CliManual, ExamplesFindWhatTheySay)
{
    const QString binary = qEnvironmentVariable("QV_BINARY_DIR");
    QFile manual(qEnvironmentVariable("QV_SOURCE_DIR") + "/doc/qarvenda-cli.1");
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly)) << "is QV_SOURCE_DIR set?";
    if (!QFile::exists(binary + "/kvrn.dat"))
        GTEST_SKIP() << "no bundled database in " << binary.toStdString();
    QStringList examples;
    bool inExamples = false;
    for (const QByteArray& line : manual.readAll().split('\n')) {
        if (line.startsWith(".SH"))
            inExamples = line == ".SH EXAMPLES";
        else if (inExamples && line.startsWith(".B qarvenda\\-cli "))
            examples << QString::fromUtf8(line.mid(3)).replace("\\-", "-");
    }
    const struct {
        const char* command;  // as the manual shows it
        const char* input;
        int code;
        std::vector<const char*> wanted;  // in standard output, or error for status 1
    } checks[] = {
        {"qarvenda-cli find 罗湖", "", 0, {"深圳市\t罗湖区\t0755\t518021\n"}},
        {"qarvenda-cli find --sort relevance xian", "", 0, {"陕西省\t陕西省/西安市/\t\t\n", "\n陕西省\t西安市\t029\t"}},
        {"qarvenda-cli find --exact --fields initials bjs", "", 0, {"\t北京市\t", "\t宝鸡市\t", "\t毕节市\t"}},
        {"qarvenda-cli where '+86 (0)755-8888 8888 转 12'",
         "",
         0,
         {"广东省\t深圳市\t0755\t", "深圳市\t南山区\t0755\t"}},
        {"qarvenda-cli where 13800138000", "", 1, {"mobile number"}},
        {"qarvenda-cli post 518057", "", 0, {"深圳市\t南山区\t0755\t518051\n"}},
        {"qarvenda-cli post 5180", "", 0, {"广东省\t深圳市\t0755\t518000\n", "深圳市\t盐田区\t0755\t518081\n"}},
        {"qarvenda-cli ls 深圳市", "", 0, {"深圳市\t南山区\t0755\t518051\n"}},
        {"qarvenda-cli where - < numbers.txt > annotated.tsv",
         "0755 8888 8888\n",
         0,
         {"0755 8888 8888\t深圳市\t南山区\t"}},
        {"qarvenda-cli where --count - < numbers.txt",
         "0755 8888 8888\n13800138000\n",
         0,
         {"0755 8888 8888\t1", "13800138000\t0\n"}},
        {"qarvenda-cli --format csv --header --sort postcode ls 深圳市",
         "",
         0,
         {"所属,地区名称,区号,邮编(时差)\r\n深圳市,光明区,0755,\r\n深圳市,罗湖区,0755,518021\r\n深圳市,福田区,0755,"
          "518048\r\n"}},
        {"qarvenda-cli export --format kvrn --encoding gbk --all > kvrn.txt", "", 0, {"\r\n"}},
        {"qarvenda-cli export --format json find 深圳 | jq .",
         "",
         0,
         {"{\"owner\":\"广东省\",\"name\":\"深圳市\",\"areaCode\":\"0755\""}},
    };
    QStringList checked;
    for (const auto& c : checks) {
        const QString command = QString::fromUtf8(c.command);
        checked << command;
        EXPECT_TRUE(examples.contains(command)) << "not in the manual: " << c.command;
        // The words before any redirection or pipe; '...' is one word.
        QStringList words;
        const QStringList quoted = command.section(QRegularExpression("\\s[<>|]\\s"), 0, 0).split('\'');
        for (int i = 0; i < quoted.size(); ++i)
            words << (i % 2 ? QStringList{quoted[i]} : quoted[i].split(' ', Qt::SkipEmptyParts));
        words.removeFirst();  // the program
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.insert("LANG", "C.UTF-8");
        p.setProcessEnvironment(env);
        p.start(binary + "/qarvenda-cli", QStringList{"--db", binary + "/kvrn.dat"} + words);
        p.write(c.input);
        p.closeWriteChannel();
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), c.code) << c.command;
        const QByteArray out = c.code == 0 ? p.readAllStandardOutput() : p.readAllStandardError();
        for (const char* wanted : c.wanted)
            EXPECT_TRUE(out.contains(wanted)) << c.command << " does not give " << wanted;
    }
    examples.sort();
    checked.sort();
    EXPECT_EQ(examples, checked) << "an example of the manual is not checked here";
}

// Every example of the user guide, on the bundled database. A search example
// is marked <code data-search="exact|fuzzy FIELD,..." data-finds="名称 ..."
// data-misses="名称 ...">query</code> (data-finds="" for one that finds
// nothing); a <pre data-run> holds "$ " command lines, each followed by lines
// that its output holds, run by the shell in a folder with the database.
TEST(CliGuide, ExamplesFindWhatTheySay)
{
    const QString binary = qEnvironmentVariable("QV_BINARY_DIR");
    const QDir guide(qEnvironmentVariable("QV_SOURCE_DIR") + "/doc/guide");
    if (!QFile::exists(binary + "/kvrn.dat"))
        GTEST_SKIP() << "no bundled database in " << binary.toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(QFile::copy(binary + "/kvrn.dat", work.filePath("kvrn.dat")));
    ASSERT_TRUE(qvtest::writeFile(work.filePath("号码.txt"), "0755 8888 8888\n"));
    auto unescape = [](QString t) {
        return t.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&#39;", "'").replace(
            "&amp;", "&");
    };
    auto run = [&](const QString& program, const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", "zh_CN.UTF-8");
        env.insert("PATH", binary + ":" + env.value("PATH"));
        env.insert("QARVENDA_HOME", work.filePath("home"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.start(program, args);
        p.closeWriteChannel();
        Result r;
        if (p.waitForFinished(60000)) {
            r.code = p.exitCode();
            r.out = p.readAllStandardOutput();
            r.err = p.readAllStandardError();
        }
        return r;
    };
    const QRegularExpression marked(
        "<code data-search=\"(exact|fuzzy) ([a-z,]+)\"(?: data-finds=\"([^\"]*)\")?(?: data-misses=\"([^\"]*)\")?>"
        "([^<]+)</code>");
    const QRegularExpression runs("<pre data-run>([^<]*)</pre>");
    int searches = 0, commands = 0;
    for (const QString& page : guide.entryList({"*.html"})) {
        QFile file(guide.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        int matched = 0;
        for (auto it = marked.globalMatch(html); it.hasNext(); ++matched) {
            const QRegularExpressionMatch m = it.next();
            const QString query = unescape(m.captured(5));
            QStringList args{"--db", work.filePath("kvrn.dat"), "find", "--fields", m.captured(2), "--", query};
            if (m.captured(1) == "exact")
                args.insert(3, "--exact");
            const Result r = run(binary + "/qarvenda-cli", args);
            QStringList names;
            for (const QByteArray& line : r.out.split('\n'))
                names << QString::fromUtf8(line).section('\t', 1, 1);
            const QString where = page + ": " + m.captured(0);
            if (m.capturedLength(3) == 0 && m.capturedStart(3) >= 0)
                EXPECT_EQ(r.code, 1) << where.toStdString() << " finds something";
            else
                EXPECT_TRUE(r.code == 0 || r.code == 1) << where.toStdString() << ": " << r.err.toStdString();
            for (const QString& name : m.captured(3).split(' ', Qt::SkipEmptyParts))
                EXPECT_TRUE(names.contains(name)) << where.toStdString() << " does not find " << name.toStdString();
            for (const QString& name : m.captured(4).split(' ', Qt::SkipEmptyParts))
                EXPECT_FALSE(names.contains(name)) << where.toStdString() << " finds " << name.toStdString();
        }
        EXPECT_EQ(matched, html.count("data-search=")) << page.toStdString() << ": a marked example is malformed";
        searches += matched;
        int blocks = 0;
        for (auto it = runs.globalMatch(html); it.hasNext(); ++blocks) {
            const QStringList lines = unescape(it.next().captured(1)).split('\n', Qt::SkipEmptyParts);
            for (int i = 0; i < lines.size(); ++i) {
                if (!lines[i].startsWith("$ "))
                    continue;
                ++commands;
                const Result r = run("/bin/sh", {"-c", lines[i].mid(2)});
                EXPECT_EQ(r.code, 0) << page.toStdString() << ": " << lines[i].toStdString() << ": "
                                     << r.err.toStdString();
                const QStringList said = QString::fromUtf8(r.out + r.err).split('\n');
                for (int j = i + 1; j < lines.size() && !lines[j].startsWith("$ "); ++j)
                    EXPECT_TRUE(said.contains(lines[j]))
                        << page.toStdString() << ": " << lines[i].toStdString() << " does not say " << lines[j].toStdString();
            }
        }
        EXPECT_EQ(blocks, html.count("data-run")) << page.toStdString() << ": a command block is malformed";
    }
    EXPECT_GE(searches, 25) << "the guide's search examples are no longer marked";
    EXPECT_GE(commands, 10) << "the guide's command examples are no longer marked";
}

}  // namespace
