#pragma once
// The file "kvrn.dat": the image length as int32 little-endian, then one zlib
// stream (level 9) holding the image.
#include "store/Records.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include <sys/types.h>

namespace qv {

// Called now and then while a long save compresses, with 0..100.
using ProgressFn = std::function<void(int percent)>;
// The share of a save's progress that compression takes; writing the rest.
constexpr int kCompressPercent = 80;

// The image of an empty database: the end marker and a zero LearnedCount.
constexpr int kEmptyImageSize = kDirectoryRecordSize + 4;

// A file as it was read or written: which file it is, its size and time,
// and a hash of its bytes. Two stamps that differ mean that somebody else
// has written or replaced the file meanwhile.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    bool hashed = false;  // false when the bytes could not be read
    uint32_t hash = 0;    // CRC-32 of the whole file
    bool operator==(const FileStamp& o) const;
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The regular file at `path` (followed through links) now, its bytes hashed.
FileStamp stampFile(const QString& path);

struct FileReadResult {
    // Excess: the file holds more than the image its header announces; the
    // announced bytes were read (image is set) and the rest was not.
    enum Status { Ok, Missing, Unreadable, Damaged, Excess };
    Status status = Missing;
    std::vector<uint8_t> image;
    QString detail;  // what went wrong, in Chinese, for the error box
    FileStamp stamp; // the file whose bytes were read; !exists when none were
};

FileReadResult readDatabaseFile(const QString& path);

// Starts reading and inflating `path` on a thread of its own, for the
// readDatabaseFile(path) (the load) that follows: called first thing at
// start-up, the file is read while the window is being built. The load takes
// the result only when the file is still the one that was read; otherwise,
// and for any other path, it reads as usual. One read ahead at a time.
void preloadDatabaseFile(const QString& path);

// Inflates `stream` until `length` bytes are produced. A stream that ends
// early or is corrupt gives false and a reason. Bytes the stream holds beyond
// `length`, or bytes after the stream's end, are not read; when `surplus` is
// given it then says so. Never allocates more than the stream can produce.
bool inflateImage(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out, QString* why,
                  QString* surplus = nullptr);

// The same with zlib alone (the fallback of inflateImage; also measured by the benchmarks).
bool inflateImageZlib(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out,
                      QString* why, QString* surplus = nullptr);

// Where a save of `path` lands: `path` itself, or for a symbolic link the
// regular file it finally points to. A link that dangles, loops or points at
// anything but a regular file is never written through: `problem` says why.
struct WriteTarget {
    QString file;     // absolute path of the file a save replaces
    QString problem;  // in Chinese; empty when a save may go ahead
};
WriteTarget resolveWriteTarget(const QString& path);

// The unused name "<file>.damaged" (then ".damaged.2", ...) beside `file`.
QString keptFileName(const QString& file);

struct WriteResult {
    bool ok = false;
    // When !ok: what failed and why, in Chinese, followed by what became of
    // the previous file. No full stop at the end.
    QString error;
    bool oldFileIntact = true;  // false only when an in-place write failed and could not be undone
    QString keptAs;             // where the previous file was kept (keepOld), when it was
    FileStamp stamp;            // the file as written, when ok
};

// Writes the file for `path` (through a link, see WriteTarget): a new file in
// the same folder, synced, then renamed over the old one, which keeps its
// permission bits and, where allowed, its owner and group. On failure the
// old file is left exactly as it was. With `keepOld`, whatever is there (a
// damaged file, even a folder) is renamed to keptFileName() instead of being
// replaced. When the folder allows no new file but the file itself may be
// written, the file is overwritten in place (overwriteDatabaseFile).
WriteResult writeDatabaseFile(const QString& path, const std::vector<uint8_t>& image, const ProgressFn& progress,
                              bool keepOld = false);

// Writes the image over the existing regular file `file`, in place: the whole
// file is compressed first, the space reserved, then written and synced; a
// failure puts the old bytes back where it can read them.
WriteResult overwriteDatabaseFile(const QString& file, const std::vector<uint8_t>& image, const ProgressFn& progress);

// What an errno means, in Chinese for the window and in English for the
// command line: one table for both.
QString describeFileError(int err);
QString describeFileErrorInEnglish(int err);
// The cause of a failed read: a permission is one to read.
QString describeReadError(int err);
// The same for a failure at `path`: a link that leads nowhere or a file in
// the way is named as such.
QString describePathError(const QString& path, int err);
QString describePathErrorInEnglish(const QString& path, int err);
// The English of a cause the two functions above give in Chinese; empty when
// `chinese` is none of them.
QString englishFileError(const QString& chinese);

// Every write of a database or its first copy goes through this call
// (pwrite unless told otherwise): tests see a full disk without filling one.
using WriteCall = ssize_t (*)(int fd, const void* data, size_t size, off_t offset);
void setWriteCall(WriteCall call);  // nullptr: pwrite again
// Writes `data` at `offset`; 0, or the errno of the write that failed.
int writeFully(int fd, const void* data, size_t size, off_t offset);

// A new, empty temporary file "<file>.xxxxxx" (six hex digits) beside `file`,
// open for writing and marked as in use for as long as the descriptor is
// open; -1 with the errno in `err` when none can be made.
int createTemporaryBeside(const QString& file, QString* name, int* err);
// Removes the temporary files that saves or first copies of `file` left
// when they were killed: only names of their own pattern, and only those no
// running save holds. The number removed.
int removeStaleTemporaries(const QString& file);

// Largest output a deflate stream of `n` bytes can produce.
inline int64_t maxInflatedSize(size_t n) { return int64_t(n) * 1032 + 1024; }

}  // namespace qv
