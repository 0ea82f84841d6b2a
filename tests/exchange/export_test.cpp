#include "exchange/Export.h"
#include "entries/EntryEditing.h"
#include "tree/DirectoryCommands.h"
#include "FaultDevices.h"
#include "ReadBack.h"
#include "TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

using namespace qv;
using qvtest::gbk;
using qvtest::readSheet;

namespace {

const std::string kCaptions = "1\n地区名称|所属|邮政编码|电话区号";

class ExportTest : public ::testing::Test {
protected:
    // 海淀 is renamed and 新区 created after the load, and one more entry is
    // deleted: the directory section still holds the names of the load.
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qvtest::ImageBuilder b;
        b.dir(gbk("北京"), 0, 1).dir(gbk("海淀"), 1, 2).dir(gbk("上海"), 0, 3).end(3).learnedCount(0);
        b.entry(gbk("海淀区"), 2, "100080", "010");
        b.entry(gbk("旧条目"), -2, "100000", "010");
        b.entry(gbk("浦东"), 3, "200120", "021");
        b.entry(gbk("徐汇"), 3, "200030", "021");
        b.entry("1-2", 3, "012345", "0571");
        db.loadImage(b.bytes);
        db.tree.findById(2)->caption = gbk("中关村");
        DirectoryNode* fresh = createDirectory(db, nullptr, NewDirectoryPlace::LastSibling);
        fresh->caption = gbk("新区");
        appendEntry(db, fresh->id, {gbk("新村"), "0999", "999999"});
        deleteEntry(db, db.image.entrySectionStart() + 3 * kEntryRecordSize);  // 徐汇
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    Database db;
};

}  // namespace

TEST_F(ExportTest, EmptyListWritesNothing)
{
    const EntryRowSet empty;
    const ExportSource source = ExportSource::currentList(empty);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeText(source, buffer).status, ExportResult::NothingToExport);
    EXPECT_EQ(writeTextFile(source, path("kvrn.txt")).status, ExportResult::NothingToExport);
    EXPECT_EQ(writeWorkbook(source, path("kvrn.xls")).status, ExportResult::NothingToExport);
    EXPECT_TRUE(buffer.data().isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(ExportTest, EmptyDatabaseGivesEmptyTextAndCaptionsOnly)
{
    Database loaded, never;
    loaded.loadImage(qvtest::ImageBuilder().end(0).learnedCount(0).bytes);
    for (Database* empty : {&loaded, &never}) {
        const ExportSource source = ExportSource::allRecords(empty->image);
        ASSERT_TRUE(qvtest::writeFile(path("kvrn.txt"), "old"));
        EXPECT_TRUE(writeTextFile(source, path("kvrn.txt")).ok());
        EXPECT_TRUE(QFileInfo::exists(path("kvrn.txt")));
        EXPECT_TRUE(qvtest::readFile(path("kvrn.txt")).isEmpty());
        EXPECT_TRUE(writeWorkbook(source, path("kvrn.xls")).ok());
        const auto sheet = readSheet(path("kvrn.xls"));
        if (!sheet)
            GTEST_SKIP() << "python3-openpyxl is not installed";
        EXPECT_EQ(*sheet, kCaptions);
    }
}

TEST_F(ExportTest, AllRecordsUseTheNamesOfTheLastLoadOrSave)
{
    const ExportSource source = ExportSource::allRecords(db.image);
    EXPECT_EQ(source.rowCount(), 4);
    std::vector<int> percents;
    ASSERT_TRUE(writeTextFile(source, path("kvrn.txt"), [&](int p) { percents.push_back(p); }).ok());
    EXPECT_EQ(percents, (std::vector<int>{16, 33, 50, 66, 83, 100}));  // per record read, deleted ones too
    EXPECT_EQ(qvtest::readFile(path("kvrn.txt")).toStdString(),
              gbk("海淀,海淀区,010,100080\r\n上海,浦东,021,200120\r\n上海,1-2,0571,012345\r\n,新村,0999,999999\r\n"));

    const ExportResult r = writeWorkbook(source, path("kvrn.xls"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.rows, 4);
    const auto sheet = readSheet(path("kvrn.xls"));
    if (!sheet)
        GTEST_SKIP() << "python3-openpyxl is not installed";
    // Contiguous rows, every cell text: leading zeros stay, 1-2 is no date.
    EXPECT_EQ(*sheet, kCaptions + "\n海淀区|海淀|100080|010\n浦东|上海|200120|021\n1-2|上海|012345|0571\n新村||999999|0999");
}

TEST_F(ExportTest, CurrentListInDisplayOrderWithItsOwnNames)
{
    EntryRowSet list = listDirectory(db.image, 2, db.tree.findById(2)->caption);
    const EntryRowSet shanghai = listDirectory(db.image, 3, gbk("上海"));
    list.append(shanghai);
    list.rows.setDirectory(1, list.rows.back().directory);
    const struct {
        int column, direction;
        const char* text;
    } cases[] = {
        {kColumnAreaCode, -1, "上海,1-2,0571,012345\r\n上海,浦东,021,200120\r\n中关村,海淀区,010,100080\r\n"},
        // Rows that compare equal keep the order they had.
        {kColumnDirectory, +1, "上海,1-2,0571,012345\r\n上海,浦东,021,200120\r\n中关村,海淀区,010,100080\r\n"},
        {kColumnName, +1, "上海,1-2,0571,012345\r\n中关村,海淀区,010,100080\r\n上海,浦东,021,200120\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        sortEntryRows(list, c.column, c.direction);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        EXPECT_EQ(writeText(ExportSource::currentList(list), out).rows, 3);
        EXPECT_EQ(out.data().toStdString(), gbk(c.text));
    }
    ASSERT_TRUE(writeWorkbook(ExportSource::currentList(list), path("kvrn.xls")).ok());
    const auto sheet = readSheet(path("kvrn.xls"));
    if (!sheet)
        GTEST_SKIP() << "python3-openpyxl is not installed";
    EXPECT_EQ(*sheet, kCaptions + "\n1-2|上海|012345|0571\n海淀区|中关村|100080|010\n浦东|上海|200120|021");
}

TEST_F(ExportTest, WorkbookRefusalsAndFailuresLeaveNoFile)
{
    EntryRowSet huge;
    huge.addDirectoryName("x");
    huge.rows.resize(size_t(kWorksheetRowLimit));  // with the caption row one too many
    const ExportSource all = ExportSource::allRecords(db.image);
    const struct {
        ExportSource source;
        QString target;
        int openable;  // files the export may open; -1 for any number
        ExportResult::Status status;
    } cases[] = {
        // The target is reserved, then the worksheet's temporary file cannot be opened.
        {all, path("kvrn.xls"), 1, ExportResult::CannotStart},
        {all, path("missing/kvrn.xls"), -1, ExportResult::Failed},
        {ExportSource::currentList(huge), path("kvrn.xls"), -1, ExportResult::TooManyRows},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        ExportResult r;
        {
            std::optional<ResourceLimit> limit;
            if (c.openable >= 0) {
                ASSERT_TRUE(limit.emplace(RLIMIT_NOFILE, ResourceLimit::lowestFreeFd() + c.openable).ok());
            }
            r = writeWorkbook(c.source, c.target);
        }
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message == kWorkbookStartFailure, c.status == ExportResult::CannotStart) << r.message.toStdString();
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
}

TEST_F(ExportTest, WriteFailuresAreReportedAndKeepTheEarlierFile)
{
    for (int i = 0; i < 60000; ++i)
        appendEntry(db, 3, {gbk("浦东新区张江镇") + std::to_string(i), "021", "201203"});
    const ExportSource source = ExportSource::allRecords(db.image);
    std::vector<int> percents;
    FailDevice device(1500000);  // the first piece of a megabyte goes through, the second fails
    device.open(QIODevice::WriteOnly);
    const ExportResult r = writeText(source, device, [&](int p) { percents.push_back(p); });
    EXPECT_EQ(r.status, ExportResult::Failed);
    EXPECT_TRUE(r.message.contains(QStringLiteral("设备已满"))) << r.message.toStdString();
    EXPECT_GE(device.written.size(), 1 << 20) << "a whole piece went through before the failure";
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()) && percents.back() < 100 && percents.size() <= 101);

    const struct {
        const char* name;
        bool workbook;
    } targets[] = {{"kvrn.txt", false}, {"kvrn.xls", true}};
    for (const auto& t : targets) {
        SCOPED_TRACE(t.name);
        ASSERT_TRUE(qvtest::writeFile(path(t.name), "earlier export"));
        ExportResult failed;
        {
            ResourceLimit limit(RLIMIT_FSIZE, 64 * 1024);
            ASSERT_TRUE(limit.ok());
            failed = t.workbook ? writeWorkbook(source, path(t.name), {}, dir.path())
                                : writeTextFile(source, path(t.name));
        }
        EXPECT_EQ(failed.status, ExportResult::Failed) << failed.message.toStdString();
        // The cause in Chinese (the limit makes writes fail with EFBIG), no library text.
        EXPECT_TRUE(failed.message.contains(QStringLiteral("文件过大"))) << failed.message.toStdString();
        for (const char* english : {"error", "zip", "unknown"})
            EXPECT_FALSE(failed.message.contains(QLatin1String(english), Qt::CaseInsensitive))
                << failed.message.toStdString();
        EXPECT_EQ(qvtest::readFile(path(t.name)), "earlier export");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QString::fromLatin1(t.name)});
        QFile::remove(path(t.name));
    }
}

namespace {

// A file whose disk fills up: the first write is cut short, the next fails
// with `err`, as write(2) does.
class FillingFile : public QFile {
public:
    FillingFile(const QString& path, int err) : QFile(path), m_err(err) {}

protected:
    qint64 writeData(const char*, qint64 n) override
    {
        if (m_cut) {
            errno = m_err;
            return -1;
        }
        m_cut = true;
        return n / 2;
    }

private:
    int m_err;
    bool m_cut = false;
};

}  // namespace

TEST_F(ExportTest, AShortWriteIsReportedByItsCause)
{
    const struct {
        int err;
        const char* says;
    } cases[] = {{ENOSPC, "磁盘空间不足"}, {EDQUOT, "超出磁盘配额"}, {EROFS, "文件系统只读"}, {EFBIG, "文件过大"}};
    for (const auto& c : cases) {
        FillingFile file(path("kvrn.txt"), c.err);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const ExportResult r = writeText(ExportSource::allRecords(db.image), file);
        EXPECT_EQ(r.status, ExportResult::Failed);
        EXPECT_EQ(r.message, QStringLiteral("写入导出文件失败：") + QString::fromUtf8(c.says));
    }
}

TEST(WorkbookFolderTest, BesideAPortableProgramElseTheWorkingFolder)
{
    QTemporaryDir root;
    for (const char* d : {"portable", "prefix/bin", "prefix/share/qarvenda", "readonly", "work"})
        ASSERT_TRUE(QDir(root.path()).mkpath(d));
    ASSERT_TRUE(QFile::setPermissions(root.filePath("readonly"),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    // Only a normal user is stopped by a read-only folder (CI runs this once as one).
    const bool canWriteAnyway = ::geteuid() == 0;
    const struct {
        const char* program;
        const char* expected;
    } cases[] = {
        {"portable", "portable/kvrn.xls"},
        {"prefix/bin", "work/kvrn.xls"},  // installed, even where the user may write
        {"readonly", canWriteAnyway ? "readonly/kvrn.xls" : "work/kvrn.xls"},
        {"missing", "work/kvrn.xls"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(workbookExportPath(root.filePath(c.program), root.filePath("work")), root.filePath(c.expected))
            << c.program;
    QFile::setPermissions(root.filePath("readonly"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (canWriteAnyway)
        GTEST_SKIP() << "run as root: the read-only folder was writable anyway";
}
