#include "exchange/Export.h"

#include "exchange/ProgressSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace qv {

QString workbookExportPath(const QString& programDir, const QString& workingFolder)
{
    const QDir program(programDir);
    // access() rather than the permission bits: it also knows read-only mounts.
    const bool writable = ::access(QFile::encodeName(program.absolutePath()).constData(), W_OK) == 0;
    const bool installed = QFileInfo(program.filePath(QStringLiteral("../share/qarvenda"))).isDir();
    const QDir target(writable && !installed ? programDir : workingFolder);
    return QDir::cleanPath(target.absoluteFilePath(QString::fromLatin1(kWorkbookExportName)));
}

DirectoryNames savedDirectoryNames(const DatabaseImage& image)
{
    DirectoryNames names;
    const uint8_t* data = image.bytes().data();
    const int64_t front = std::min<int64_t>(image.entrySectionStart(), image.size());
    for (int64_t p = 0; p + kDirectoryRecordSize <= front; p += kDirectoryRecordSize) {
        const uint8_t* rec = data + p;
        if (readLe32(rec + dir_field::kLevel) < 0)
            break;
        // A later record with the same id (only in a hand-made file) wins.
        names.insert_or_assign(readLe32(rec + dir_field::kId),
                               std::string(readField(rec + dir_field::kNameLen, kNameCapacity)));
    }
    return names;
}

ExportSource ExportSource::currentList(const EntryRowSet& rows)
{
    ExportSource s;
    s.m_list = &rows;
    return s;
}

ExportSource ExportSource::allRecords(const DatabaseImage& image)
{
    ExportSource s;
    s.m_image = &image;
    s.m_names = savedDirectoryNames(image);
    return s;
}

int64_t ExportSource::rowCount() const
{
    if (m_list)
        return int64_t(m_list->rows.size());
    int64_t live = 0;
    m_image->forEachEntry([&](int32_t, const uint8_t* rec) { live += entryOwner(rec) >= 0; });
    return live;
}

int64_t ExportSource::stepCount() const { return m_list ? int64_t(m_list->rows.size()) : m_image->entryCount(); }

namespace {

// Lines are gathered and written in pieces of this size: few device calls,
// and each call's count shows a failure at once.
constexpr size_t kPiece = 1 << 20;

// Writes the buffer whole. A short write is followed by another, which
// meets the cause (a full disk, the file size limit) as an error number;
// `err` gets it when `out` is a file, 0 otherwise.
bool flush(std::string& buffer, QIODevice& out, int& err)
{
    const char* p = buffer.data();
    qint64 n = qint64(buffer.size());
    const bool file = qobject_cast<QFileDevice*>(&out) != nullptr;
    while (n > 0) {
        errno = 0;
        const qint64 written = out.write(p, n);
        if (written <= 0) {
            err = file ? errno : 0;
            buffer.clear();
            return false;
        }
        p += written;
        n -= written;
    }
    buffer.clear();
    return true;
}

QString writeError(QIODevice& out, int err)
{
    if (err)
        return QStringLiteral("写入导出文件失败：%1").arg(describeFileError(err));
    const QString why = out.errorString();
    return why.isEmpty() ? QStringLiteral("写入导出文件失败") : QStringLiteral("写入导出文件失败：%1").arg(why);
}

// The cause of a failed file operation just made: the error number in
// Chinese, else what the file says.
QString fileError(const QFileDevice& file, int err) { return err ? describeFileError(err) : file.errorString(); }

}  // namespace

void appendTextLineField(std::string& line, std::string_view field)
{
    if (field.find(',') == std::string_view::npos && (field.empty() || field.front() != '"')) {
        line.append(field).append(1, ',');
        return;
    }
    line.append(1, '"');
    for (const char c : field) {
        if (c == '"')
            line.append(1, '"');
        line.append(1, c);
    }
    line.append("\",", 2);
}

ExportResult writeText(const ExportSource& source, QIODevice& out, const ProgressFn& progress)
{
    ExportResult result;
    if (source.isList() && source.rowCount() == 0) {
        result.status = ExportResult::NothingToExport;
        return result;
    }
    ProgressSteps steps(progress, source.stepCount());
    std::string buffer;
    buffer.reserve(kPiece + 256);
    bool ok = true;
    int err = 0;
    const bool whole = source.forEach(
        [&](const ExportRow& r) {
            appendTextLineField(buffer, r.owner);
            appendTextLineField(buffer, r.name);
            appendTextLineField(buffer, r.areaCode);
            buffer.append(r.postcode).append("\r\n", 2);
            ++result.rows;
            if (buffer.size() >= kPiece)
                ok = flush(buffer, out, err);
            return ok;
        },
        steps);
    if (!whole || !flush(buffer, out, err)) {
        result.status = ExportResult::Failed;
        result.message = writeError(out, err);
    }
    return result;
}

ExportResult writeTextFile(const ExportSource& source, const QString& path, const ProgressFn& progress)
{
    if (source.isList() && source.rowCount() == 0)
        return {ExportResult::NothingToExport, 0, QString()};
    ExportResult result;
    QSaveFile file(path);
    // Unbuffered: the pieces above are large already, and a short write shows
    // in its count instead of surfacing only at commit.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int err = errno;
        result.status = ExportResult::Failed;
        result.message =
            QStringLiteral("无法创建文件“%1”：%2").arg(QFileInfo(path).absoluteFilePath(), fileError(file, err));
        return result;
    }
    result = writeText(source, file, progress);
    if (!result.ok()) {
        file.cancelWriting();
        return result;
    }
    errno = 0;
    if (!file.commit()) {
        const int err = errno;
        result.status = ExportResult::Failed;
        result.message =
            QStringLiteral("保存文件“%1”失败：%2").arg(QFileInfo(path).absoluteFilePath(), fileError(file, err));
    }
    return result;
}

}  // namespace qv
