#pragma once
// The file "kvrn.dat": the image length as int32 little-endian, then one zlib
// stream (level 9) holding the image.
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace qv {

// Called now and then while a long save compresses, with 0..100.
using ProgressFn = std::function<void(int percent)>;

struct FileReadResult {
    enum Status { Ok, Missing, Unreadable, Damaged };
    Status status = Missing;
    std::vector<uint8_t> image;
    QString detail;  // what went wrong, in Chinese, for the error box
};

FileReadResult readDatabaseFile(const QString& path);

// Inflates `stream` until `length` bytes are produced. Bytes the stream holds
// beyond `length` are ignored; a stream that ends early or is corrupt gives
// false and a reason. Never allocates more than the stream can produce.
bool inflateImage(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out, QString* why);

// The same with zlib alone (the fallback of inflateImage; also measured by the benchmarks).
bool inflateImageZlib(const uint8_t* stream, size_t streamSize, int64_t length, std::vector<uint8_t>& out, QString* why);

// Writes the file atomically: a temporary file in the same folder, flushed,
// then renamed over `path`. On failure `path` is left exactly as it was.
// When `keepOldAs` is not empty, whatever is at `path` (a damaged file, even a
// folder) is renamed to it rather than replaced; `keptOld` tells whether that
// happened.
bool writeDatabaseFile(const QString& path, const std::vector<uint8_t>& image, const ProgressFn& progress,
                       QString* error, const QString& keepOldAs = QString(), bool* keptOld = nullptr);

// Largest output a deflate stream of `n` bytes can produce.
inline int64_t maxInflatedSize(size_t n) { return int64_t(n) * 1032 + 1024; }

}  // namespace qv
