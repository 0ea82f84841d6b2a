// qv-bench: load, save, compression, listing and search on synthetic
// databases of a million places.
//
//   qv-bench [--entries N] [--big-dir N] [--reps R] [--names repetitive|varied|both]
//            [--no-deflate] [--only file|lookup]
//
// Each case runs R times (save and zlib's level-9 deflate once): the median and
// best wall times and the best CPU time of the thread are shown. Entries per
// second are counted over the whole entry section, from the best wall time.
#include "../tools/SyntheticDb.h"

#include "lookup/EntryRows.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QTemporaryDir>

#include <libdeflate.h>
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall time, median and best of the runs, and the best CPU time of this
// thread: on a shared machine the CPU time is the steadier figure.
struct Timing {
    double median = 0, best = 0, cpu = 0;
};

Timing timeIt(int reps, const std::function<void()>& f)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < reps; ++i) {
        const double c0 = cpuMs();
        const auto t0 = Clock::now();
        f();
        wall.push_back(msSince(t0));
        cpu.push_back(cpuMs() - c0);
    }
    std::sort(wall.begin(), wall.end());
    return {wall[wall.size() / 2], wall.front(), *std::min_element(cpu.begin(), cpu.end())};
}

struct Row {
    std::string what;
    std::string names;
    Timing t;
    std::string extra;
};
std::vector<Row> g_rows;

void report(const std::string& what, const std::string& names, const Timing& t, const std::string& extra = {})
{
    g_rows.push_back({what, names, t, extra});
    std::fprintf(stderr, "  %-42s %-10s %9.1f %9.1f %9.1f ms  %s\n", what.c_str(), names.c_str(), t.median, t.best,
                 t.cpu, extra.c_str());
}

std::string mb(size_t bytes)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.2f MB", double(bytes) / 1e6);
    return b;
}

std::string perSecond(double count, double ms)
{
    char b[48];
    std::snprintf(b, sizeof b, "%.1f M entries/s", count / (ms / 1000.0) / 1e6);
    return b;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "qv-bench: %s\n", what.c_str());
    std::exit(1);
}

std::vector<uint8_t> zlibDeflate9(const std::vector<uint8_t>& image)
{
    // The parameters of the program's save: level 9, 15-bit window, memory level 8.
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        fail("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&zs, uLong(image.size())));
    zs.next_in = const_cast<Bytef*>(image.data());
    zs.avail_in = uInt(image.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
        fail("deflate");
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::vector<uint8_t> libdeflate9(const std::vector<uint8_t>& image)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(9);
    if (!c)
        fail("libdeflate_alloc_compressor");
    std::vector<uint8_t> out(libdeflate_zlib_compress_bound(c, image.size()));
    const size_t n = libdeflate_zlib_compress(c, image.data(), image.size(), out.data(), out.size());
    libdeflate_free_compressor(c);
    if (!n)
        fail("libdeflate_zlib_compress");
    out.resize(n);
    return out;
}

// zlib alone on equal terms with libdeflate: one call into a buffer of the
// final size.
bool zlibInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef*>(stream.data());
    zs.avail_in = uInt(stream.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && zs.total_out == out.size();
    inflateEnd(&zs);
    return ok;
}

bool libdeflateInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out)
{
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t n = 0;
    const auto r = libdeflate_zlib_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &n);
    libdeflate_free_decompressor(d);
    return r == LIBDEFLATE_SUCCESS && n == out.size();
}

struct Settings {
    int64_t entries = 1000000;
    int64_t bigDir = 200000;
    int reps = 5;
    bool repetitive = true;
    bool varied = true;
    bool deflate = true;
    bool file = true;    // save, load, inflate, deflate
    bool lookup = true;  // listing and search
};

void fileCases(const Settings& s, const std::string& names, const QString& path, const qvgen::Options& o,
               qvgen::Summary& summary, qv::Database& db)
{
    {
        qv::Database made;
        made.setPath(path);
        summary = qvgen::generate(made, o);
        qv::SaveReport saved;
        const Timing ms = timeIt(1, [&] { saved = made.save(); });
        if (!saved.ok)
            fail(saved.message.toStdString());
        const QFileInfo file(path);
        report("save (build image, libdeflate level 9, write)", names, ms,
               "image " + mb(size_t(made.image.size())) + ", file " + mb(size_t(file.size())));
    }

    const Timing loadMs = timeIt(s.reps, [&] {
        if (!db.load(path).ok())
            fail("load");
    });
    report("load (read, inflate, tree)", names, loadMs, std::to_string(db.image.entryCount()) + " records");
    const std::vector<uint8_t> image = db.image.bytes();

    // Inflate the same stream both ways.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail("open");
    const QByteArray file = f.readAll();
    const std::vector<uint8_t> stream(file.begin() + 4, file.end());
    {
        std::vector<uint8_t> buf(image.size());
        const Timing z = timeIt(s.reps, [&] {
            if (!zlibInflate(stream, buf))
                fail("zlib inflate");
        });
        if (buf != image)
            fail("zlib inflate gave other bytes");
        report("inflate, zlib", names, z, mb(stream.size()) + " -> " + mb(image.size()));
        std::vector<uint8_t> out;
        QString why;
        const Timing fallback = timeIt(s.reps, [&] {
            if (!qv::inflateImageZlib(stream.data(), stream.size(), int64_t(image.size()), out, &why))
                fail("zlib inflate: " + why.toStdString());
        });
        if (out != image)
            fail("the zlib fallback gave other bytes");
        report("inflate, the loader's zlib fallback", names, fallback, "into a new buffer each run");
        std::fill(buf.begin(), buf.end(), 0);
        const Timing l = timeIt(s.reps, [&] {
            if (!libdeflateInflate(stream, buf))
                fail("libdeflate inflate");
        });
        if (buf != image)
            fail("libdeflate inflate gave other bytes");
        report("inflate, libdeflate", names, l);
    }

    if (s.deflate) {
        std::vector<uint8_t> z;
        const Timing zms = timeIt(1, [&] { z = zlibDeflate9(image); });
        report("deflate level 9, zlib", names, zms, mb(z.size()));
        std::vector<uint8_t> l;
        const Timing lms = timeIt(std::min(s.reps, 3), [&] { l = libdeflate9(image); });
        report("deflate level 9, libdeflate", names, lms, mb(l.size()));
        // Each reads what the other wrote.
        std::vector<uint8_t> back(image.size());
        if (!libdeflateInflate(z, back) || back != image)
            fail("libdeflate cannot read zlib's stream");
        QString why;
        if (!qv::inflateImageZlib(l.data(), l.size(), int64_t(image.size()), back, &why) || back != image)
            fail("zlib cannot read libdeflate's stream");
    }

}

void run(const Settings& s, bool varied)
{
    const std::string names = varied ? "varied" : "repetitive";
    std::fprintf(stderr, "%s names, %lld entries:\n", names.c_str(), (long long)s.entries);
    QTemporaryDir dir;
    const QString path = dir.filePath("kvrn.dat");

    qvgen::Options o;
    o.entries = s.entries;
    o.bigDir = s.bigDir;
    o.varied = varied;
    o.dirs = 3000;
    o.learned = 20;
    o.seed = 42;
    qvgen::Summary summary;
    qv::Database db;
    if (!s.file) {
        // Straight into memory, as a load would leave it.
        qv::Database made;
        summary = qvgen::generate(made, o);
        db.loadImage(made.buildImage());
    } else {
        fileCases(s, names, path, o, summary, db);
    }
    if (!s.lookup)
        return;

    // Listing the big directory, with the sort a listing does.
    {
        qv::EntryRowSet rows;
        const Timing ms = timeIt(s.reps, [&] {
            rows = qv::listDirectory(db.image, summary.bigDirId, summary.bigDirCaption);
            qv::sortEntryRows(rows, qv::kColumnAreaCode, +1);
        });
        if (int64_t(rows.rows.size()) != s.bigDir)
            fail("listing found " + std::to_string(rows.rows.size()) + " rows");
        report("list directory + sort (area code, asc)", names, ms,
               std::to_string(rows.rows.size()) + " rows, " + perSecond(double(db.image.entryCount()), ms.best));
        const Timing listOnly = timeIt(s.reps, [&] {
            rows = qv::listDirectory(db.image, summary.bigDirId, summary.bigDirCaption);
        });
        report("  of which the pass", names, listOnly);
    }

    // Search, fuzzy, all four fields, with the sort a search does.
    struct Query {
        const char* label;
        std::string text;
    };
    const Query queries[] = {
        {"search \"山\" (one character)", qvgen::detail::gbk("山")},
        {"search \"bj\"", "bj"},
        {"search \"0755\"", "0755"},
        {"search \"xyzzy9\" (no match)", "xyzzy9"},
    };
    qv::QueryOptions options;  // fuzzy, every field
    for (const Query& q : queries) {
        qv::EntryRowSet rows;
        const Timing ms = timeIt(s.reps, [&] {
            rows = qv::searchEntries(db, q.text, options);
            qv::sortEntryRows(rows, qv::kColumnAreaCode, -1);
        });
        report(q.label, names, ms,
               std::to_string(rows.rows.size()) + " rows, " + perSecond(double(db.image.entryCount()), ms.best));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--entries")
            s.entries = std::atoll(value());
        else if (a == "--big-dir")
            s.bigDir = std::atoll(value());
        else if (a == "--reps")
            s.reps = std::max(1, std::atoi(value()));
        else if (a == "--no-deflate")
            s.deflate = false;
        else if (a == "--only") {
            const std::string v = value();
            s.file = v == "file";
            s.lookup = v == "lookup";
        }
        else if (a == "--names") {
            const std::string v = value();
            s.repetitive = v == "repetitive" || v == "both";
            s.varied = v == "varied" || v == "both";
        } else {
            std::fprintf(stderr,
                         "usage: qv-bench [--entries N] [--big-dir N] [--reps R] "
                         "[--names repetitive|varied|both] [--no-deflate] [--only file|lookup]\n");
            return 2;
        }
    }
    if (s.bigDir > s.entries)
        fail("--big-dir is larger than --entries");
    if (s.repetitive)
        run(s, false);
    if (s.varied)
        run(s, true);

    std::printf("\n| %-42s | %-10s | %9s | %9s | %9s | %s\n", "case", "names", "median ms", "best ms", "cpu ms",
                "notes");
    std::printf("|%s|%s|%s|%s|%s|%s\n", std::string(44, '-').c_str(), std::string(12, '-').c_str(),
                std::string(11, '-').c_str(), std::string(11, '-').c_str(), std::string(11, '-').c_str(),
                std::string(40, '-').c_str());
    for (const Row& r : g_rows)
        std::printf("| %-42s | %-10s | %9.1f | %9.1f | %9.1f | %s\n", r.what.c_str(), r.names.c_str(), r.t.median,
                    r.t.best, r.t.cpu, r.extra.c_str());
    return 0;
}
