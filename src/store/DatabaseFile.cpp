#include "store/DatabaseFile.h"

#include "store/Records.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <libdeflate.h>
#include <zlib.h>

#include <climits>

namespace qv {

namespace {
// A file larger than this cannot be a database of this program (a million
// places compress to a few tens of megabytes); refuse to read it whole.
constexpr qint64 kMaxFileSize = qint64(1) << 30;
// Images up to this size are inflated in one piece whatever the header says;
// larger ones only when the stream is at least 1/kTrustedRatio of the size.
constexpr int64_t kTrustedLength = int64_t(64) << 20;
constexpr int64_t kTrustedRatio = 64;

bool plausibleLength(int64_t length, size_t streamSize)
{
    return length <= kTrustedLength || length / kTrustedRatio <= int64_t(streamSize);
}
}  // namespace

bool inflateImageZlib(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out,
                      QString* why)
{
    // Free whatever `out` held (a failed fast path leaves a whole image's worth).
    std::vector<uint8_t>().swap(out);
    if (length < 0) {
        *why = QStringLiteral("文件头中的数据长度无效（%1）").arg(length);
        return false;
    }
    if (length == 0)
        return true;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        *why = QStringLiteral("解压缩程序无法初始化");
        return false;
    }
    // A length the stream can plausibly yield is taken at once; beyond that
    // the output grows with what the stream really yields, so that a header
    // announcing gigabytes in front of a short or broken stream costs nothing.
    out.resize(size_t(plausibleLength(length, streamSize)
                          ? length
                          : std::min<int64_t>(length, std::max<int64_t>(int64_t(streamSize) * 4, 1 << 20))));
    int64_t produced = 0;
    size_t consumed = 0;
    int rc = Z_OK;
    auto feed = [&] {
        // zlib counts in uInt; feed in bounded pieces.
        if (zs.avail_in == 0 && consumed < streamSize) {
            size_t chunk = std::min<size_t>(streamSize - consumed, 1u << 30);
            zs.next_in = const_cast<Bytef*>(stream + consumed);
            zs.avail_in = uInt(chunk);
            consumed += chunk;
        }
    };
    while (produced < length) {
        if (produced == int64_t(out.size()))
            out.resize(size_t(std::min<int64_t>(length, int64_t(out.size()) * 2)));
        feed();
        int64_t room = std::min<int64_t>(int64_t(out.size()) - produced, 1 << 30);
        zs.next_out = out.data() + produced;
        zs.avail_out = uInt(room);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced += room - zs.avail_out;
        // Input and room are always offered, so anything but Z_OK means the
        // stream has ended, run out or is corrupt.
        if (rc != Z_OK)
            break;
    }
    if (produced == length && rc == Z_OK) {
        // Normally the image ends where the stream ends: its Adler-32 trailer
        // follows at once and is checked here (unless the file is cut short
        // inside it). A stream that goes on beyond the announced length is not
        // read any further.
        uint8_t spare = 0;
        feed();
        zs.next_out = &spare;
        zs.avail_out = 1;
        if (inflate(&zs, Z_NO_FLUSH) == Z_DATA_ERROR && zs.avail_out == 1)
            rc = Z_DATA_ERROR;
    }
    inflateEnd(&zs);
    // A data error where the image ends is a wrong checksum (or garbage right
    // after the image): the bytes cannot be trusted either way.
    if (produced < length || rc == Z_DATA_ERROR) {
        *why = (rc == Z_DATA_ERROR || rc == Z_NEED_DICT)
                   ? QStringLiteral("压缩数据已损坏")
                   : QStringLiteral("压缩数据不完整：应有 %1 字节，只解出 %2 字节").arg(length).arg(produced);
        std::vector<uint8_t>().swap(out);
        return false;
    }
    return true;
}

bool inflateImage(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out, QString* why)
{
    if (length < 0) {
        *why = QStringLiteral("文件头中的数据长度无效（%1）").arg(length);
        return false;
    }
    if (length > maxInflatedSize(streamSize)) {
        *why = QStringLiteral("文件头声明的数据长度（%1 字节）超出文件所能容纳的数据").arg(length);
        return false;
    }
    // Fast path: libdeflate inflates a whole zlib stream in one call, into a
    // buffer of the announced length. Real images compress far less than
    // deflate's limit; a header claiming more than that is not trusted with
    // such a buffer and goes the zlib way, which grows as it goes.
    if (plausibleLength(length, streamSize)) {
        out.assign(size_t(length), 0);
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        if (d) {
            size_t actualOut = 0;
            libdeflate_result r =
                libdeflate_zlib_decompress(d, stream, streamSize, out.data(), size_t(length), &actualOut);
            libdeflate_free_decompressor(d);
            if (r == LIBDEFLATE_SUCCESS && int64_t(actualOut) == length)
                return true;
        }
    }
    // A stream longer than the announced length, cut after it, or otherwise
    // unusual: zlib streams exactly as far as needed and says what is wrong.
    return inflateImageZlib(stream, streamSize, length, out, why);
}

FileReadResult readDatabaseFile(const QString& path)
{
    FileReadResult result;
    QFile file(path);
    if (!file.exists()) {
        result.status = FileReadResult::Missing;
        result.detail = QStringLiteral("找不到数据库文件“%1”").arg(QFileInfo(path).absoluteFilePath());
        return result;
    }
    // Only a regular file: a pipe would block the start-up until someone
    // writes to it, and a device such as /dev/zero never ends.
    if (!QFileInfo(path).isFile()) {
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("“%1”不是普通文件，无法作为数据库读取").arg(QFileInfo(path).absoluteFilePath());
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("无法读取数据库文件“%1”：%2").arg(QFileInfo(path).absoluteFilePath(), file.errorString());
        return result;
    }
    const qint64 size = file.size();
    if (size > kMaxFileSize) {
        result.status = FileReadResult::Damaged;
        result.detail = QStringLiteral("数据库文件过大（%1 字节），不是本程序的数据库").arg(size);
        return result;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("读取数据库文件时出错：%1").arg(file.errorString());
        return result;
    }
    if (data.size() < 4) {
        result.status = FileReadResult::Damaged;
        result.detail = QStringLiteral("数据库文件太短（%1 字节）").arg(data.size());
        return result;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    int32_t length = readLe32(bytes);
    QString why;
    if (!inflateImage(bytes + 4, size_t(data.size() - 4), length, result.image, &why)) {
        result.status = FileReadResult::Damaged;
        result.detail = why;
        result.image.clear();
        return result;
    }
    result.status = FileReadResult::Ok;
    return result;
}

namespace {

bool deflateTo(QSaveFile& out, const std::vector<uint8_t>& image, const ProgressFn& progress, QString* error)
{
    // libdeflate at level 9 writes the same zlib format as zlib does (any
    // zlib reads it) in a third to a half of zlib's time on large images.
    libdeflate_compressor* c = libdeflate_alloc_compressor(9);
    if (!c) {
        *error = QStringLiteral("压缩程序无法初始化（内存不足）");
        return false;
    }
    std::vector<uint8_t> packed;
    try {
        packed.resize(libdeflate_zlib_compress_bound(c, image.size()));
    } catch (const std::bad_alloc&) {
        libdeflate_free_compressor(c);
        *error = QStringLiteral("内存不足，无法压缩数据库");
        return false;
    }
    if (progress)
        progress(0);
    const size_t n = libdeflate_zlib_compress(c, image.data(), image.size(), packed.data(), packed.size());
    libdeflate_free_compressor(c);
    if (n == 0) {
        *error = QStringLiteral("压缩数据库时出错");
        return false;
    }
    if (progress)
        progress(80);
    // Written in pieces: the file is unbuffered, and each piece's count shows
    // a short write (a full disk) at once.
    constexpr size_t kPiece = 4 << 20;
    for (size_t done = 0; done < n;) {
        const qint64 piece = qint64(std::min(kPiece, n - done));
        if (out.write(reinterpret_cast<const char*>(packed.data() + done), piece) != piece) {
            *error = QStringLiteral("写入数据库文件失败：%1").arg(out.errorString());
            return false;
        }
        done += size_t(piece);
        if (progress)
            progress(80 + int(done * 20 / n));
    }
    return true;
}

}  // namespace

bool writeDatabaseFile(const QString& path, const std::vector<uint8_t>& image, const ProgressFn& progress,
                       QString* error, const QString& keepOldAs, bool* keptOld)
{
    if (keptOld)
        *keptOld = false;
    const QString shown = QFileInfo(path).absoluteFilePath();
    if (image.size() > size_t(INT32_MAX)) {
        *error = QStringLiteral("数据库过大，无法保存");
        return false;
    }
    const QFileInfo old(path);
    const bool keepOld = !keepOldAs.isEmpty() && old.exists();
    // A file is renamed aside only once the new one is complete; a folder in
    // the way must go first, or the new file cannot be created at all.
    const bool oldIsFolder = keepOld && old.isDir();
    auto moveAside = [&] {
        if (QDir().rename(path, keepOldAs))
            return true;
        *error = QStringLiteral("无法把原数据库文件改名为“%1”，为保护它，本次没有保存").arg(keepOldAs);
        return false;
    };
    auto putBack = [&] { QDir().rename(keepOldAs, path); };
    if (oldIsFolder && !moveAside())
        return false;

    QSaveFile out(path);
    // Unbuffered: every write reaches the file at once and a short write (disk
    // full, file size limit) shows in its count. Through Qt's buffer such a
    // failure can go unnoticed until commit, which then renames a truncated
    // file over the good one.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("无法创建数据库文件“%1”：%2").arg(shown, out.errorString());
        if (oldIsFolder)
            putBack();
        return false;
    }
    uint8_t header[4];
    writeLe32(header, int32_t(image.size()));
    bool ok = out.write(reinterpret_cast<const char*>(header), 4) == 4;
    if (!ok)
        *error = QStringLiteral("写入数据库文件失败：%1").arg(out.errorString());
    ok = ok && deflateTo(out, image, progress, error);
    ok = ok && (oldIsFolder || !keepOld || moveAside());
    if (!ok) {
        out.cancelWriting();
        if (oldIsFolder)
            putBack();
        return false;
    }
    if (!out.commit()) {
        *error = QStringLiteral("保存数据库文件“%1”失败：%2").arg(shown, out.errorString());
        if (keepOld)
            putBack();
        return false;
    }
    if (keptOld)
        *keptOld = keepOld;
    return true;
}

}  // namespace qv
