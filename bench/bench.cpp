// qv-bench: load, save, compression, listing and search on synthetic
// databases of a million places.
//
//   qv-bench [--entries N] [--big-dir N] [--reps R] [--names repetitive|varied|both]
//            [--no-deflate] [--only file|lookup|exchange]
//
// Each case runs R times (save and zlib's level-9 deflate once): the median and
// best wall times and the best CPU time of the thread are shown. Entries per
// second are counted over the whole entry section, from the best wall time.
#include "../tools/SyntheticDb.h"

#include "exchange/Export.h"
#include "exchange/Import.h"
#include "lookup/EntryRows.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
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
    bool exchange = true;  // export and import
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

// Runs sqlite3 with `args`, for comparison; -1 when it is not installed or fails.
double sqliteMs(const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (exe.isEmpty())
        return -1;
    QProcess p;
    const auto t0 = Clock::now();
    p.start(exe, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return msSince(t0);
}

void exchangeCases(const Settings& s, const std::string& names, const qv::Database& db)
{
    QTemporaryDir dir;
    const QString text = dir.filePath("kvrn.txt");
    const qv::ExportSource all = qv::ExportSource::allRecords(db.image);
    qv::ExportResult r;
    const Timing textMs = timeIt(s.reps, [&] { r = qv::writeTextFile(all, text, [](int) {}); });
    if (!r.ok())
        fail("text export: " + r.message.toStdString());
    report("export all records, text", names, textMs,
           std::to_string(r.rows) + " lines, " + mb(size_t(QFileInfo(text).size())));
    const Timing bookMs = timeIt(1, [&] { r = qv::writeWorkbook(all, dir.filePath("kvrn.xls"), [](int) {}); });
    if (!r.ok())
        fail("workbook export: " + r.message.toStdString());
    report("export all records, workbook", names, bookMs,
           std::to_string(r.rows) + " rows, " + mb(size_t(QFileInfo(dir.filePath("kvrn.xls")).size())));

    // A file of one line per record, deleted ones too: as many lines as records.
    const QString lines = dir.filePath("import.txt");
    {
        const qv::DirectoryNames dirNames = qv::savedDirectoryNames(db.image);
        std::string out;
        db.image.forEachEntry([&](int32_t pos, const uint8_t*) {
            const qv::EntryRecord e = db.image.readEntry(pos);
            auto it = dirNames.find(e.owner < 0 ? -e.owner : e.owner);
            out += (it == dirNames.end() ? std::string() : it->second) + "," + e.name + "," + e.areaCode + "," +
                   e.postcode + "\r\n";
        });
        QFile f(lines);
        if (!f.open(QIODevice::WriteOnly) || f.write(out.data(), qint64(out.size())) != qint64(out.size()))
            fail("cannot write the import file");
    }
    std::vector<double> wall, cpu;
    qv::ImportResult imported;
    for (int i = 0; i < s.reps; ++i) {
        qv::Database target;
        target.loadImage(db.image.bytes());
        const double c0 = cpuMs();
        const auto t0 = Clock::now();
        imported = qv::importTextFile(target, lines, nullptr, {}, [](int) {});
        wall.push_back(msSince(t0));
        cpu.push_back(cpuMs() - c0);
        if (imported.failed() || imported.entries != db.image.entryCount())
            fail("import stopped after " + std::to_string(imported.entries) + " lines");
    }
    std::sort(wall.begin(), wall.end());
    report("import", names, {wall[wall.size() / 2], wall.front(), *std::min_element(cpu.begin(), cpu.end())},
           std::to_string(imported.entries) + " lines, " + std::to_string(imported.directories) + " new directories");

    // The same rows through sqlite3, when it is installed: .import, then CSV output.
    const QString sql = dir.filePath("rows.sqlite");
    const double importMs = sqliteMs({sql, QStringLiteral("CREATE TABLE t(a,b,c,d);"), QStringLiteral(".mode csv"),
                                      QStringLiteral(".import ") + lines + QStringLiteral(" t")});
    const double exportMs = importMs < 0 ? -1
                                         : sqliteMs({sql, QStringLiteral(".mode csv"),
                                                     QStringLiteral(".output ") + dir.filePath("rows.csv"),
                                                     QStringLiteral("SELECT * FROM t;")});
    if (importMs >= 0 && exportMs >= 0) {
        report("  sqlite3 .import of the same file", names, {importMs, importMs, 0}, "one run, a process of its own");
        report("  sqlite3 CSV output of those rows", names, {exportMs, exportMs, 0}, "one run, a process of its own");
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
    if (s.exchange)
        exchangeCases(s, names, db);
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
            s.exchange = v == "exchange";
        }
        else if (a == "--names") {
            const std::string v = value();
            s.repetitive = v == "repetitive" || v == "both";
            s.varied = v == "varied" || v == "both";
        } else {
            std::fprintf(stderr,
                         "usage: qv-bench [--entries N] [--big-dir N] [--reps R] "
                         "[--names repetitive|varied|both] [--no-deflate] [--only file|lookup|exchange]\n");
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
