// The workbook export, written with libxlsxwriter in constant-memory mode:
// each row goes to a temporary file as soon as the next one starts, so a
// million rows take no more memory than one.
#include "exchange/Export.h"
#include "exchange/ProgressSteps.h"

#include "store/GbkText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace qv {

namespace {

// Cell texts as UTF-8. Owner names repeat from row to row, so theirs are
// converted once per directory.
class CellTexts {
public:
    const QByteArray& owner(const ExportRow& r)
    {
        auto it = m_owners.find(r.ownerKey);
        if (it == m_owners.end())
            it = m_owners.emplace(r.ownerKey, utf8(r.owner)).first;
        return it->second;
    }
    static QByteArray utf8(std::string_view gbkText)
    {
        QByteArray text = gbk::toUtf8(gbkText);
        // The library takes C strings, so a NUL (only in a hand-made file)
        // would end the cell there: it shows as U+FFFD and the rest follows.
        if (text.contains('\0'))
            text.replace('\0', QByteArrayView("\xEF\xBF\xBD"));
        return text;
    }

private:
    std::unordered_map<int64_t, QByteArray> m_owners;
};

// The library's errors in the user's words; for those that come from the
// file system the error number (`err`, 0 when unknown) names the cause.
QString libraryError(lxw_error error, int err)
{
    static const struct {
        lxw_error code;
        const char* text;
        bool fromFiles;
    } texts[] = {
        {LXW_ERROR_MEMORY_MALLOC_FAILED, "内存不足", false},
        {LXW_ERROR_CREATING_XLSX_FILE, "无法创建表格文件", true},
        {LXW_ERROR_CREATING_TMPFILE, "无法创建临时文件", true},
        {LXW_ERROR_READING_TMPFILE, "读取临时文件失败", true},
        {LXW_ERROR_ZIP_FILE_OPERATION, "写入表格文件失败", true},
        {LXW_ERROR_ZIP_FILE_ADD, "向表格文件写入内容失败", true},
        {LXW_ERROR_ZIP_CLOSE, "关闭表格文件失败", true},
        {LXW_ERROR_ZIP_BAD_ZIP_FILE, "表格文件过大，压缩格式容纳不下", false},
        {LXW_ERROR_ZIP_PARAMETER_ERROR, "压缩表格文件时出错", false},
        {LXW_ERROR_ZIP_INTERNAL_ERROR, "压缩表格文件时出错", false},
        {LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED, "单元格的文字超过32767个字符", false},
        {LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE, "行或列超出工作表的范围", false},
    };
    for (const auto& t : texts)
        if (t.code == error) {
            const QString text = QString::fromUtf8(t.text);
            return t.fromFiles && err ? QStringLiteral("%1：%2").arg(text, describeFileError(err)) : text;
        }
    return QStringLiteral("表格程序库出错（错误代码 %1）").arg(int(error));
}

// The library writes the rows into a temporary file without checking those
// writes; a full disk would give a cut-off worksheet and no error. The
// stream's error flag tells.
bool rowsStored(lxw_worksheet* sheet)
{
    FILE* rows = sheet->optimize_tmpfile ? sheet->optimize_tmpfile : sheet->file;
    errno = 0;
    return !rows || (std::fflush(rows) == 0 && !std::ferror(rows));
}

}  // namespace

ExportResult writeWorkbook(const ExportSource& source, const QString& path, const ProgressFn& progress,
                           const QString& tempDir)
{
    ExportResult result;
    const int64_t rows = source.rowCount();
    if (source.isList() && rows == 0) {
        result.status = ExportResult::NothingToExport;
        return result;
    }
    if (rows + 1 > kWorksheetRowLimit) {
        result.status = ExportResult::TooManyRows;
        result.message = QStringLiteral("要导出%1行，而EXCEL表格连标题行在内最多%2行，没有导出。")
                             .arg(rows)
                             .arg(kWorksheetRowLimit);
        return result;
    }
    const QString shown = QFileInfo(path).absoluteFilePath();
    auto fail = [&](const QString& message) {
        result.status = ExportResult::Failed;
        result.message = message;
        return result;
    };

    // The workbook is made under a temporary name beside the target and
    // renamed over it only when complete: a failed export leaves an earlier
    // file whole. The name stays open, and so reserved, until the end.
    QTemporaryFile partial(QFileInfo(path).absolutePath() + QStringLiteral("/.kvrn-export-XXXXXX.xlsx"));
    errno = 0;
    if (!partial.open()) {
        const int err = errno;
        return fail(
            QStringLiteral("无法创建文件“%1”：%2").arg(shown, err ? describeFileError(err) : partial.errorString()));
    }
    const QByteArray partialName = QFile::encodeName(partial.fileName());
    const QByteArray tempDirName = QFile::encodeName(tempDir);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tempDir.isEmpty() ? nullptr : const_cast<char*>(tempDirName.constData());
    lxw_workbook* workbook = workbook_new_opt(partialName.constData(), &options);
    // In constant-memory mode the worksheet opens its temporary file here.
    lxw_worksheet* sheet = workbook ? workbook_add_worksheet(workbook, nullptr) : nullptr;
    if (!sheet) {
        if (workbook)
            lxw_workbook_free(workbook);
        result.status = ExportResult::CannotStart;
        result.message = kWorkbookStartFailure;
        return result;
    }

    // Every cell is a text cell in the text format ("@"): postcodes and area
    // codes keep their leading zeros, and a name such as "1-2" does not turn
    // into a date, also when the user types into a cell or a new row later.
    lxw_format* text = workbook_add_format(workbook);
    if (text)
        format_set_num_format(text, "@");
    lxw_error error = text ? worksheet_set_column(sheet, 0, 3, LXW_DEF_COL_WIDTH, text) : LXW_ERROR_MEMORY_MALLOC_FAILED;
    const char* captions[] = {"地区名称", "所属", "邮政编码", "电话区号"};
    for (lxw_col_t c = 0; c < 4 && !error; ++c)
        error = worksheet_write_string(sheet, 0, c, captions[c], text);

    CellTexts texts;
    lxw_row_t row = 0;
    ProgressSteps steps(progress, source.stepCount());
    source.forEach(
        [&](const ExportRow& r) {
            if (error)
                return false;
            ++row;
            const QByteArray name = CellTexts::utf8(r.name);
            const QByteArray post = CellTexts::utf8(r.postcode);
            const QByteArray area = CellTexts::utf8(r.areaCode);
            error = worksheet_write_string(sheet, row, 0, name.constData(), text);
            if (!error)
                error = worksheet_write_string(sheet, row, 1, texts.owner(r).constData(), text);
            if (!error)
                error = worksheet_write_string(sheet, row, 2, post.constData(), text);
            if (!error)
                error = worksheet_write_string(sheet, row, 3, area.constData(), text);
            return !error;
        },
        steps);
    if (!error && !rowsStored(sheet)) {
        const int err = errno;
        lxw_workbook_free(workbook);
        return fail(QStringLiteral("写入EXCEL表格的临时文件失败：%1")
                        .arg(err ? describeFileError(err) : QStringLiteral("写入不完整")));
    }
    if (error) {
        const int err = errno;
        lxw_workbook_free(workbook);
        return fail(QStringLiteral("写入EXCEL表格失败：%1").arg(libraryError(error, err)));
    }
    // Closing writes the file and frees the workbook, whatever the outcome.
    errno = 0;
    error = workbook_close(workbook);
    const int closeErr = errno;
    partial.close();
    if (error)
        return fail(QStringLiteral("保存文件“%1”失败：%2").arg(shown, libraryError(error, closeErr)));

    // The temporary file was made private; the export is an ordinary document.
    QFile::setPermissions(partial.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                  QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    if (std::rename(partialName.constData(), QFile::encodeName(path).constData()) != 0)
        return fail(QStringLiteral("保存文件“%1”失败：%2").arg(shown, describeFileError(errno)));
    partial.setAutoRemove(false);
    result.rows = int64_t(row);
    return result;
}

}  // namespace qv
