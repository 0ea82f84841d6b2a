#include "store/DatabaseFile.h"

#include "store/DatabaseImage.h"

#include "store/HugePages.h"
#include "store/Records.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <libdeflate.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <new>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A zero-filled buffer of `n` bytes, on huge pages where it is large, with
// room behind it for the places added later.
void allocateImage(std::vector<uint8_t>& out, size_t n)
{
    std::vector<uint8_t>().swap(out);
    out.reserve(DatabaseImage::capacityFor(n));
    adviseHugePages(out.data(), n);
    out.resize(n);
}
}  // namespace

bool FileStamp::operator==(const FileStamp& o) const
{
    if (exists != o.exists)
        return false;
    if (!exists)
        return true;
    return device == o.device && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs &&
           (!hashed || !o.hashed || hash == o.hash);
}

namespace {

void stampStat(FileStamp& s, const struct stat& st)
{
    s.exists = true;
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.size = int64_t(st.st_size);
    s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

FileStamp stampFile(const QString& path)
{
    FileStamp s;
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0) {
        if (stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
            stampStat(s, st);  // there, but its bytes cannot be read
        return s;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return s;
    }
    stampStat(s, st);
    // Read in pieces: the hash needs no copy of a whole file in memory.
    std::vector<uint8_t> piece(size_t(1) << 20);
    uint32_t crc = 0;
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, piece.data(), piece.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return s;
        }
        if (n == 0)
            break;
        crc = uint32_t(libdeflate_crc32(crc, piece.data(), size_t(n)));
        at += n;
    }
    close(fd);
    s.hashed = true;
    s.hash = crc;
    return s;
}

bool inflateImageZlib(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out,
                      QString* why, QString* surplus)
{
    if (surplus)
        surplus->clear();
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
        const int last = inflate(&zs, Z_NO_FLUSH);
        if (zs.avail_out == 0) {
            if (surplus)
                *surplus = QStringLiteral("解压后的数据比文件头所说的 %1 字节多").arg(length);
        } else if (last == Z_DATA_ERROR) {
            rc = Z_DATA_ERROR;
        } else if (last == Z_STREAM_END) {
            rc = Z_STREAM_END;
        }
    }
    // Bytes after the stream's end are no part of the image either.
    const size_t after = zs.avail_in + (streamSize - consumed);
    if (rc == Z_STREAM_END && produced == length && after > 0 && surplus)
        *surplus = QStringLiteral("压缩数据之后还有 %1 字节").arg(after);
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

bool inflateImage(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out, QString* why,
                  QString* surplus)
{
    if (surplus)
        surplus->clear();
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
        allocateImage(out, size_t(length));
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        if (d) {
            size_t actualIn = 0, actualOut = 0;
            libdeflate_result r = libdeflate_zlib_decompress_ex(d, stream, streamSize, out.data(), size_t(length),
                                                                &actualIn, &actualOut);
            libdeflate_free_decompressor(d);
            if (r == LIBDEFLATE_SUCCESS && int64_t(actualOut) == length) {
                if (actualIn < streamSize && surplus)
                    *surplus = QStringLiteral("压缩数据之后还有 %1 字节").arg(streamSize - actualIn);
                return true;
            }
        }
    }
    // A stream longer than the announced length, cut after it, or otherwise
    // unusual: zlib streams exactly as far as needed and says what is wrong.
    return inflateImageZlib(stream, streamSize, length, out, why, surplus);
}

namespace {

// What tells one file from another without reading it: a file replaced,
// rewritten or touched since it was read reads anew.
FileStamp statStamp(const QString& path)
{
    FileStamp s;
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) == 0)
        stampStat(s, st);
    return s;
}

// The one read started ahead of the load, and its result.
struct Preload {
    std::mutex mutex;
    std::thread worker;
    QString path;
    FileStamp identity;  // the file as it was throughout the read (no hash); !exists when it changed meanwhile
    FileReadResult result;

    ~Preload()
    {
        if (worker.joinable())
            worker.join();
    }
};

Preload& preloadSlot()
{
    static Preload slot;
    return slot;
}

FileReadResult readNow(const QString& path);

}  // namespace

void preloadDatabaseFile(const QString& path)
{
    // Qt takes the first thread that asks about threads for the main
    // thread; the read below makes objects (a QFile) and must not be first.
    QThread::currentThread();
    Preload& p = preloadSlot();
    const std::lock_guard<std::mutex> lock(p.mutex);
    if (p.worker.joinable())
        p.worker.join();
    p.path = path;
    p.result = FileReadResult();
    p.identity = FileStamp();
    try {
        p.worker = std::thread([&p, path] {
            const FileStamp before = statStamp(path);
            FileReadResult read = readNow(path);
            const FileStamp after = statStamp(path);
            p.identity = before == after ? before : FileStamp();
            p.result = std::move(read);
        });
    } catch (const std::system_error&) {
        p.path.clear();  // no thread to be had: the load reads for itself
    }
}

FileReadResult readDatabaseFile(const QString& path)
{
    Preload& p = preloadSlot();
    {
        const std::lock_guard<std::mutex> lock(p.mutex);
        if (!p.path.isEmpty() && p.path == path) {
            p.worker.join();
            p.path.clear();
            FileReadResult read = std::move(p.result);
            p.result = FileReadResult();
            if (p.identity.exists && p.identity == statStamp(path))
                return read;
        }
    }
    return readNow(path);
}

namespace {

FileReadResult readNow(const QString& path)
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
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("无法读取数据库文件“%1”：%2")
                            .arg(QFileInfo(path).absoluteFilePath(), err ? describeReadError(err) : file.errorString());
        return result;
    }
    struct stat opened;
    const bool stamped = fstat(file.handle(), &opened) == 0;
    const qint64 size = file.size();
    if (size > kMaxFileSize) {
        result.status = FileReadResult::Damaged;
        result.detail = QStringLiteral("数据库文件过大（%1 字节），不是本程序的数据库").arg(size);
        return result;
    }
    // Even an empty database has its end marker and LearnedCount: a smaller
    // length (a zeroed header) would silently stand for an empty database.
    // Such a file is refused before the rest is read.
    const QByteArray head = file.peek(4);
    if (head.size() == 4) {
        const int32_t length = readLe32(reinterpret_cast<const uint8_t*>(head.constData()));
        if (length >= 0 && length < kEmptyImageSize) {
            result.status = FileReadResult::Damaged;
            result.detail = QStringLiteral("文件头中的数据长度（%1 字节）小于空数据库的 %2 字节")
                                .arg(length)
                                .arg(kEmptyImageSize);
            return result;
        }
    }
    // Read into a buffer of its own rather than mapped: a file cut short by
    // someone else meanwhile is then a short read, not a crash. The buffer
    // is not cleared first; only the bytes read are used.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(std::max<qint64>(size, 1))]);
    if (!buffer) {
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("内存不足，无法读取数据库文件");
        return result;
    }
    adviseHugePages(buffer.get(), size_t(size));
    qint64 got = 0;
    int readErr = 0;
    while (got < size) {
        errno = 0;
        const qint64 n = file.read(reinterpret_cast<char*>(buffer.get()) + got, size - got);
        readErr = errno;
        if (n <= 0)
            break;
        got += n;
    }
    if (file.error() != QFileDevice::NoError) {
        result.status = FileReadResult::Unreadable;
        result.detail = QStringLiteral("读取数据库文件时出错：%1")
                            .arg(readErr ? describeReadError(readErr) : file.errorString());
        return result;
    }
    const uint8_t* bytes = buffer.get();
    size_t fileSize = size_t(got);
    // A file that grew meanwhile is read to its end, as a whole read would.
    std::vector<uint8_t> grown;
    if (got == size && !file.atEnd()) {
        const QByteArray rest = file.readAll();
        grown.assign(bytes, bytes + got);
        grown.insert(grown.end(), rest.begin(), rest.end());
        bytes = grown.data();
        fileSize = grown.size();
    }
    if (stamped) {
        // What a save later compares with: the file as opened, and the bytes read.
        stampStat(result.stamp, opened);
        result.stamp.hashed = true;
        result.stamp.hash = uint32_t(libdeflate_crc32(0, bytes, fileSize));
    }
    if (fileSize < 4) {
        result.status = FileReadResult::Damaged;
        result.detail = QStringLiteral("数据库文件太短（%1 字节）").arg(fileSize);
        return result;
    }
    const int32_t length = readLe32(bytes);
    QString why, surplus;
    if (!inflateImage(bytes + 4, fileSize - 4, length, result.image, &why, &surplus)) {
        result.status = FileReadResult::Damaged;
        result.detail = why;
        result.image.clear();
        return result;
    }
    result.status = surplus.isEmpty() ? FileReadResult::Ok : FileReadResult::Excess;
    result.detail = surplus;
    return result;
}

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

bool existsNoFollow(const QString& path)
{
    struct stat st;
    return lstat(nativePath(path).constData(), &st) == 0;
}

// The whole file in one buffer: the length header, then the zlib stream.
bool compressFile(const std::vector<uint8_t>& image, std::vector<uint8_t>& file, const ProgressFn& progress,
                  QString* error)
{
    // libdeflate at level 9 writes the same zlib format as zlib does (any
    // zlib reads it) in a third to a half of zlib's time on large images.
    libdeflate_compressor* c = libdeflate_alloc_compressor(9);
    if (!c) {
        *error = QStringLiteral("压缩程序无法初始化（内存不足）");
        return false;
    }
    try {
        file.resize(4 + libdeflate_zlib_compress_bound(c, image.size()));
    } catch (const std::bad_alloc&) {
        libdeflate_free_compressor(c);
        *error = QStringLiteral("内存不足，无法压缩数据库");
        return false;
    }
    if (progress)
        progress(0);
    const size_t n = libdeflate_zlib_compress(c, image.data(), image.size(), file.data() + 4, file.size() - 4);
    libdeflate_free_compressor(c);
    if (n == 0) {
        *error = QStringLiteral("压缩数据库时出错");
        return false;
    }
    writeLe32(file.data(), int32_t(image.size()));
    file.resize(4 + n);
    if (progress)
        progress(kCompressPercent);
    return true;
}

// Writes `data` from the start of the file; 0 or the errno of the write that
// failed (a short write is followed by one that says why).
int writeAll(int fd, const std::vector<uint8_t>& data, const ProgressFn& progress)
{
    constexpr size_t kPiece = 4 << 20;  // so that the progress moves
    for (size_t done = 0; done < data.size();) {
        const size_t n = std::min(kPiece, data.size() - done);
        if (const int err = writeFully(fd, data.data() + done, n, off_t(done)))
            return err;
        done += n;
        if (progress)
            progress(kCompressPercent + int(done * (100 - kCompressPercent) / data.size()));
    }
    return 0;
}

// Makes a rename in the folder of `file` durable; where that cannot be
// done the rename still stands.
void syncFolder(const QString& file)
{
    const int fd = open(nativePath(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// A failure message ends with what became of the previous file.
QString withOldFile(const QString& what, bool existed, bool intact)
{
    if (!existed)
        return what;
    return what + (intact ? QStringLiteral("。原来的文件保持不变") : QStringLiteral("。原来的文件可能已不完整"));
}

// The file just written, as the next save will find it unless someone else
// writes it meanwhile.
FileStamp writtenStamp(const QString& file, const std::vector<uint8_t>& bytes)
{
    FileStamp s;
    struct stat st;
    if (stat(nativePath(file).constData(), &st) != 0)
        return s;
    stampStat(s, st);
    s.hashed = true;
    s.hash = uint32_t(libdeflate_crc32(0, bytes.data(), bytes.size()));
    return s;
}

bool putBack(int fd, const std::vector<uint8_t>& old)
{
    return writeAll(fd, old, {}) == 0 && ftruncate(fd, off_t(old.size())) == 0 && fsync(fd) == 0;
}

WriteResult overwriteCompressed(const QString& file, const std::vector<uint8_t>& bytes, const ProgressFn& progress)
{
    WriteResult r;
    auto fail = [&](const QString& what, bool intact) {
        r.oldFileIntact = intact;
        r.error = withOldFile(what, true, intact);
        return r;
    };
    const QByteArray native = nativePath(file);
    struct stat st;
    if (stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("“%1”不是普通文件，无法写入").arg(file), true);
    bool canRead = true;
    int fd = open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        canRead = false;
        fd = open(native.constData(), O_WRONLY | O_CLOEXEC);
    }
    if (fd < 0 || fstat(fd, &st) != 0) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        return fail(QStringLiteral("无法写入数据库文件“%1”：%2").arg(file, describeFileError(err)), true);
    }
    // The old bytes, to put back should the write fail part-way.
    std::vector<uint8_t> old;
    if (canRead) {
        try {
            old.resize(size_t(st.st_size));
        } catch (const std::bad_alloc&) {
            canRead = false;
        }
        for (size_t done = 0; canRead && done < old.size();) {
            const ssize_t n = pread(fd, old.data() + done, old.size() - done, off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            canRead = n > 0;
            done += canRead ? size_t(n) : 0;
        }
    }
    const off_t oldSize = st.st_size;
    const off_t newSize = off_t(bytes.size());
    int err = 0;
    if (newSize > oldSize) {
        // Reserved first: a full disk or a size limit then stops the save
        // before a byte of the old file is touched.
        err = posix_fallocate(fd, 0, newSize);
        if (err == EOPNOTSUPP || err == EINVAL)
            err = 0;  // no reservation on this file system; the writes will tell
        if (err) {
            if (ftruncate(fd, oldSize) != 0) {
                // The size stays as the reservation left it; the bytes are the old ones.
            }
            close(fd);
            return fail(QStringLiteral("写入数据库文件“%1”失败：%2").arg(file, describeFileError(err)), true);
        }
    }
    err = writeAll(fd, bytes, progress);
    if (!err && newSize < oldSize && ftruncate(fd, newSize) != 0)
        err = errno;
    if (!err && fsync(fd) != 0)
        err = errno;
    const bool intact = !err || (canRead && putBack(fd, old));
    // After a successful fsync the bytes are on disk, whatever close says.
    close(fd);
    if (err)
        return fail(QStringLiteral("写入数据库文件“%1”失败：%2").arg(file, describeFileError(err)), intact);
    r.ok = true;
    r.stamp = writtenStamp(file, bytes);
    return r;
}

}  // namespace

namespace {

// The causes a failure is told by, in both languages.
struct Cause {
    int err;
    const char* zh;
    const char* en;
};
constexpr Cause kCauses[] = {
    {ENOSPC, "磁盘空间不足", "no space left on the disk"},
    {EACCES, "没有写入权限", "permission denied"},
    {EPERM, "没有写入权限", "permission denied"},
    {EFBIG, "文件过大", "the file is too large"},
    {EROFS, "文件系统只读", "the file system is read-only"},
    {EDQUOT, "超出磁盘配额", "the disk quota is exceeded"},
    {ENOENT, "文件或文件夹不存在", "no such file or folder"},
    {ENOTDIR, "该位置已有同名文件/目录", "a file or folder of that name is in the way"},
    {EEXIST, "该位置已有同名文件/目录", "a file or folder of that name is in the way"},
    {EISDIR, "该位置已有同名文件/目录", "a file or folder of that name is in the way"},
    {ELOOP, "符号链接循环", "the symbolic links loop"},
    {ENAMETOOLONG, "文件名过长", "the file name is too long"},
    {EIO, "读写设备出错", "input/output error on the device"},
    {ENOMEM, "内存不足", "not enough memory"},
    {EMFILE, "打开的文件过多", "too many open files"},
    {ENFILE, "打开的文件过多", "too many open files"},
};
// What differs when the failure was a read.
constexpr Cause kReadCauses[] = {
    {EACCES, "没有读取权限", "permission denied"},
    {EPERM, "没有读取权限", "permission denied"},
};
const char* const kDanglingZh = "链接指向不存在的文件";
const char* const kDanglingEn = "the link points to a file that does not exist";

const Cause* causeOf(int err)
{
    for (const Cause& c : kCauses)
        if (c.err == err)
            return &c;
    return nullptr;
}

bool danglingLink(const QString& path, int err)
{
    struct stat st;
    return (err == ENOENT || err == EEXIST) && lstat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISLNK(st.st_mode) && stat(QFile::encodeName(path).constData(), &st) != 0;
}

WriteCall g_writeCall = nullptr;

}  // namespace

QString describeFileError(int err)
{
    if (const Cause* c = causeOf(err))
        return QString::fromUtf8(c->zh);
    return QStringLiteral("%1（错误代码 %2）").arg(QString::fromLocal8Bit(std::strerror(err))).arg(err);
}

QString describeReadError(int err)
{
    for (const Cause& c : kReadCauses)
        if (c.err == err)
            return QString::fromUtf8(c.zh);
    return describeFileError(err);
}

QString describeFileErrorInEnglish(int err)
{
    if (const Cause* c = causeOf(err))
        return QString::fromUtf8(c->en);
    return QStringLiteral("%1 (error %2)").arg(QString::fromLocal8Bit(std::strerror(err))).arg(err);
}

QString describePathError(const QString& path, int err)
{
    return danglingLink(path, err) ? QString::fromUtf8(kDanglingZh) : describeFileError(err);
}

QString describePathErrorInEnglish(const QString& path, int err)
{
    return danglingLink(path, err) ? QString::fromUtf8(kDanglingEn) : describeFileErrorInEnglish(err);
}

QString englishFileError(const QString& chinese)
{
    if (chinese == QString::fromUtf8(kDanglingZh))
        return QString::fromUtf8(kDanglingEn);
    const auto same = [&](const Cause& c) { return chinese == QString::fromUtf8(c.zh); };
    if (const auto* c = std::find_if(std::begin(kCauses), std::end(kCauses), same); c != std::end(kCauses))
        return QString::fromUtf8(c->en);
    if (const auto* c = std::find_if(std::begin(kReadCauses), std::end(kReadCauses), same); c != std::end(kReadCauses))
        return QString::fromUtf8(c->en);
    return QString();
}

void setWriteCall(WriteCall call) { g_writeCall = call; }

int writeFully(int fd, const void* data, size_t size, off_t offset)
{
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t w = g_writeCall ? g_writeCall(fd, p + done, size - done, offset + off_t(done))
                                      : pwrite(fd, p + done, size - done, offset + off_t(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            return errno;
        if (w == 0)
            return EIO;
        done += size_t(w);
    }
    return 0;
}

int createTemporaryBeside(const QString& file, QString* name, int* err)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint32 tag = QRandomGenerator::global()->generate() & 0xFFFFFF;
        *name = file + QStringLiteral(".%1").arg(tag, 6, 16, QLatin1Char('0'));
        const int fd = open(nativePath(*name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The mark of a save in progress: a later start or save leaves
            // alone what a running save holds. The kernel drops it when the
            // program ends, however it ends.
            flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST && errno != EINTR) {
            *err = errno;
            return -1;
        }
    }
    *err = EEXIST;
    return -1;
}

int removeStaleTemporaries(const QString& file)
{
    const QFileInfo info(file);
    const QByteArray folder = nativePath(info.absolutePath());
    const QByteArray base = nativePath(info.fileName());
    // "<name>.xxxxxx" (six hex digits) from a save or first copy, and
    // ".<name>.XXXXXX" from the first copy of earlier versions.
    auto ours = [&](const char* entry) {
        const size_t n = std::strlen(entry);
        const bool hidden = entry[0] == '.';
        const size_t head = base.size() + 1 + (hidden ? 1 : 0);
        if (n != head + 6 || std::memcmp(entry + (hidden ? 1 : 0), base.constData(), size_t(base.size())) != 0 ||
            entry[head - 1] != '.')
            return false;
        for (size_t i = head; i < n; ++i) {
            const char c = entry[i];
            const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
            const bool alnum = hex || (c >= 'A' && c <= 'Z') || (c >= 'g' && c <= 'z');
            if (!(hidden ? alnum : hex))
                return false;
        }
        return true;
    };
    DIR* dir = opendir(folder.constData());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        if (!ours(e->d_name))
            continue;
        const QByteArray path = folder + '/' + e->d_name;
        int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == EACCES)
            fd = open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, now;
        // Free to lock: no running save holds it. It must still be the file
        // of that name when it goes.
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(path.constData(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino &&
            unlink(path.constData()) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

WriteTarget resolveWriteTarget(const QString& path)
{
    WriteTarget t;
    t.file = QFileInfo(path).absoluteFilePath();
    const QString link = t.file;
    const QByteArray native = nativePath(link);
    struct stat st;
    if (lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return t;
    char* real = realpath(native.constData(), nullptr);
    if (!real) {
        const int err = errno;
        if (err == ELOOP)
            t.problem = QStringLiteral("数据库文件“%1”是循环的符号链接，找不到它最终指向的文件").arg(link);
        else if (err == ENOENT)
            t.problem = QStringLiteral("数据库文件“%1”是符号链接，它指向的“%2”不存在")
                            .arg(link, QFileInfo(link).symLinkTarget());
        else
            t.problem = QStringLiteral("无法找到符号链接“%1”指向的文件：%2").arg(link, describeFileError(err));
        return t;
    }
    t.file = QFile::decodeName(real);
    std::free(real);
    if (stat(nativePath(t.file).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        t.problem = QStringLiteral("数据库文件“%1”是指向“%2”的符号链接，而“%2”不是普通文件").arg(link, t.file);
    return t;
}

QString keptFileName(const QString& file)
{
    const QString base = file + QStringLiteral(".damaged");
    QString name = base;
    for (int i = 2; existsNoFollow(name); ++i)
        name = base + QLatin1Char('.') + QString::number(i);
    return name;
}

WriteResult overwriteDatabaseFile(const QString& file, const std::vector<uint8_t>& image, const ProgressFn& progress)
{
    std::vector<uint8_t> bytes;
    QString why;
    if (!compressFile(image, bytes, progress, &why)) {
        WriteResult r;
        r.error = withOldFile(why, true, true);
        return r;
    }
    return overwriteCompressed(file, bytes, progress);
}

WriteResult writeDatabaseFile(const QString& path, const std::vector<uint8_t>& image, const ProgressFn& progress,
                              bool keepOld)
{
    WriteResult r;
    const WriteTarget target = resolveWriteTarget(path);
    if (!target.problem.isEmpty()) {
        r.error = target.problem + QStringLiteral("。链接保持原样，本次没有保存");
        return r;
    }
    const QString& file = target.file;
    const QByteArray native = nativePath(file);
    struct stat st;
    const bool exists = lstat(native.constData(), &st) == 0;
    const bool keep = keepOld && exists;
    auto fail = [&](const QString& what) {
        r.error = withOldFile(what, exists, true);
        return r;
    };
    if (image.size() > size_t(INT32_MAX))
        return fail(QStringLiteral("数据库过大，无法保存"));
    if (exists && !keep) {
        if (!S_ISREG(st.st_mode))
            return fail(QStringLiteral("“%1”不是普通文件，不能用数据库文件替换它").arg(file));
        // A file made read-only is not replaced behind its owner's back.
        if (access(native.constData(), W_OK) != 0)
            return fail(QStringLiteral("数据库文件“%1”不可写入：%2").arg(file, describeFileError(errno)));
    }
    std::vector<uint8_t> bytes;
    QString why;
    if (!compressFile(image, bytes, progress, &why))
        return fail(why);
    // What killed saves left here goes first: it may be what fills the disk.
    removeStaleTemporaries(file);

    QString temp;
    int err = 0;
    const int fd = createTemporaryBeside(file, &temp, &err);
    if (fd < 0) {
        // A folder that takes no new file (shared, or handed over read-only)
        // may still hold a file that may be written: write that in place.
        if ((err == EACCES || err == EPERM) && exists && !keep)
            return overwriteCompressed(file, bytes, progress);
        return fail(QStringLiteral("无法在文件夹“%1”中创建新的数据库文件：%2")
                        .arg(QFileInfo(file).absolutePath(), describeFileError(err)));
    }
    const QByteArray nativeTemp = nativePath(temp);
    err = writeAll(fd, bytes, progress);
    if (!err && exists && !keep) {
        // The new file takes the old one's place. Owner and group first (only
        // root may give a file away; for others this may fail), as a change of
        // owner clears the set-id bits; then the permission bits.
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Stays the saving user's file.
        }
        if (fchmod(fd, st.st_mode & 07777) != 0)
            err = errno;
    }
    if (!err && fsync(fd) != 0)
        err = errno;
    // A second descriptor keeps the file marked as a save's own until it
    // has its name, so that no other start or save takes it for a leftover.
    const int mark = dup(fd);
    if (close(fd) != 0 && !err)
        err = errno;
    auto unmark = [mark] {
        if (mark >= 0)
            close(mark);
    };
    if (err) {
        unlink(nativeTemp.constData());
        unmark();
        return fail(QStringLiteral("写入数据库文件“%1”失败：%2").arg(file, describeFileError(err)));
    }
    const QString keptAs = keep ? keptFileName(file) : QString();
    if (keep && rename(native.constData(), nativePath(keptAs).constData()) != 0) {
        err = errno;
        unlink(nativeTemp.constData());
        unmark();
        return fail(QStringLiteral("无法把原来的数据库文件改名为“%1”：%2。为保护它，本次没有保存")
                        .arg(keptAs, describeFileError(err)));
    }
    if (rename(nativeTemp.constData(), native.constData()) != 0) {
        err = errno;
        if (keep)
            rename(nativePath(keptAs).constData(), native.constData());
        unlink(nativeTemp.constData());
        unmark();
        return fail(QStringLiteral("无法用新文件替换“%1”：%2").arg(file, describeFileError(err)));
    }
    unmark();
    syncFolder(file);
    r.ok = true;
    r.keptAs = keptAs;
    r.stamp = writtenStamp(file, bytes);
    return r;
}

}  // namespace qv
