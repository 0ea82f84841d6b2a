// qarvenda-cli run as a process on small databases, and its formatting and
// number handling called directly.
#include "cli/Places.h"
#include "cli/TextOutput.h"
#include "exchange/Export.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"
#include "TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

    Result cli(const QStringList& args, const char* lang = "C", bool viaTerminal = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
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

TEST_F(CliTest, WithoutADatabaseHereItUsesTheDataFolderAndFillsItOnce)
{
    ASSERT_TRUE(QFile::rename(dir.filePath("kvrn.dat"), dir.filePath("mine.dat")));
    // The data folder is filled from the bundled database beside the built program.
    Result r = cli({"find", "--exact", "深圳市"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "广东省\t深圳市\t0755\t518000\n");
    EXPECT_TRUE(QFileInfo(dir.filePath("home/kvrn.dat")).isFile());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("kvrn.dat")));
    // Once there, it is the user's: never copied over again.
    ASSERT_TRUE(QFile::copy(dir.filePath("mine.dat"), dir.filePath("home/kvrn.dat.mine")));
    ASSERT_TRUE(QFile::remove(dir.filePath("home/kvrn.dat")));
    ASSERT_TRUE(QFile::rename(dir.filePath("home/kvrn.dat.mine"), dir.filePath("home/kvrn.dat")));
    r = cli({"find", "赤城"});
    EXPECT_EQ(r.out.toStdString(), "张家口市\t赤城\t075\t075500\n");
    // --db names one file, and nothing else is tried.
    r = cli({"--db", "mine.dat", "ls", "广东省"});
    EXPECT_EQ(r.out.toStdString(), "广东省\t深圳\t0755\t518000\n");
    // A data folder that cannot be made: both problems are reported.
    ASSERT_TRUE(QFile::remove(dir.filePath("home/kvrn.dat")) && QDir(dir.path()).rmdir("home"));
    ASSERT_TRUE(qvtest::writeFile(dir.filePath("home"), "a file"));
    r = cli({"find", "深圳"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("cannot copy the bundled database") && r.err.contains("does not exist"))
        << r.err.toStdString();
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
        // No blanks after the last cell with text; an empty number is null.
        {cli::Layout::Aligned, "名      Code\nab c    1\n北京市  22\n\"x\"\n共3个\n"},
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
    cli::Output out(-1, true);
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
        {"0755-8888 8888", "075588888888"}, {"+86 10 6512 3456", "01065123456"},
        {"0086-10-6512", "0106512"},        {"00852 2345 6789", "0085223456789"},
        {"+852 2345", "008522345"},         {"＋８６ ７５５", "0755"},
        {"86 10 6512", "86106512"},         {"tel. 010 (x+1)", "0101"},
        {"无", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::dialDigits(c.typed), c.digits) << c.typed;
}

}  // namespace
