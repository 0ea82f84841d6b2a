// qv-bench: Qarvenda against the tools a user would otherwise reach for, on
// the same data in the same run. Run by bench/run.sh, which makes the
// databases with qv-gendb and installs sqlite3 when it is missing.
//
//   qv-bench [--reps R] [--tsv OUT] [--work DIR] [--only-long-actions|--only-search] FILE...
//   qv-bench --search-once QUERY FILE [R] one search (for callgrind), or R more timed
//
// --work keeps the files the peers read (text export, sqlite3 databases) in
// DIR instead of a temporary folder. --only-long-actions measures only the
// printing, copying and adding rows; --only-search only the searches (with
// the export and the peer files they need).
// For each database FILE every operation is timed in Qarvenda and in its
// peers, R runs each; peers are processes of their own, timed from start to
// end. Two tables are printed at the end, per operation and peer
// "Qarvenda / peer = ratio" for each database: medians of CPU time (this
// thread's for Qarvenda, the whole process's for a peer), which a busy
// machine disturbs little, then medians of wall time. Start-up, listing
// through the window and peak memory come from qv-bench-ui, found beside
// this program.
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "lookup/EntryRows.h"
#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/DataUpdate.h"
#include "store/DatabaseFile.h"
#include "store/GbkText.h"

#include "BenchClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <libdeflate.h>
#include <zlib.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

using qvbench::median;
using qvbench::peakRssKb;
using qvbench::threadCpuMs;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "qv-bench: %s\n", what.c_str());
    std::exit(1);
}

// Milliseconds (or, for memory, megabytes in both); -1 when not measured.
struct Time {
    double wall = -1;
    double cpu = -1;
};

Time medianOf(const std::vector<Time>& runs)
{
    std::vector<double> wall, cpu;
    for (const Time& t : runs) {
        if (t.wall < 0)
            return {};
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return {median(wall), median(cpu)};
}

Time timeMedian(int reps, const std::function<void()>& f)
{
    std::vector<Time> runs;
    for (int i = 0; i < reps; ++i) {
        const double c0 = threadCpuMs();
        const auto t0 = Clock::now();
        f();
        runs.push_back({msSince(t0), threadCpuMs() - c0});
    }
    return medianOf(runs);
}

// ---- processes ----

// Runs argv (searched in PATH) with stdout into `out` (a file), or with
// `untilLine` into a pipe read until a line starting with it appears; that
// line may go on with the process's own CPU milliseconds so far. Wall and CPU
// milliseconds (from start to end, or to that line); -1 when it cannot run
// or fails.
Time runTimed(const std::vector<std::string>& argv, const std::string& out, const char* untilLine = nullptr,
              bool cLocale = false)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        if (!cLocale || (std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG", 4) != 0))
            envStore.emplace_back(*e);
    if (cLocale)
        envStore.emplace_back("LC_ALL=C");
    std::vector<char*> env;
    for (std::string& e : envStore)
        env.push_back(e.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFd[2] = {-1, -1};
    if (untilLine) {
        if (pipe(pipeFd) != 0)
            return {};
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFd[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return {};
    Time t;
    if (untilLine) {
        close(pipeFd[1]);
        std::string got;
        char buf[256];
        ssize_t n;
        while (t.wall < 0 && (n = read(pipeFd[0], buf, sizeof buf)) > 0) {
            got.append(buf, size_t(n));
            const size_t at = got.find(untilLine);
            const size_t end = at == std::string::npos ? at : got.find('\n', at);
            if (end != std::string::npos) {
                t.wall = msSince(t0);
                t.cpu = std::atof(got.c_str() + at + std::strlen(untilLine));
            }
        }
        close(pipeFd[0]);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!untilLine) {
        t.wall = msSince(t0);
        t.cpu = (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
                (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1e3;
    }
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && !(WEXITSTATUS(status) == 1 && argv[0] == "grep")))
        return {};  // grep ends with 1 when nothing matched
    return t;
}

Time runMedian(int reps, const std::vector<std::string>& argv, const std::string& out, const char* untilLine = nullptr,
               bool cLocale = false)
{
    std::vector<Time> runs;
    for (int i = 0; i < reps; ++i) {
        const Time t = runTimed(argv, out, untilLine, cLocale);
        if (t.wall < 0)
            return {};
        runs.push_back(t);
    }
    return medianOf(runs);
}

// Output of a process, whole (for qv-bench-ui --session).
std::string runOutput(const std::vector<std::string>& argv, const std::string& scratch)
{
    if (runTimed(argv, scratch).wall < 0)
        return {};
    QFile f(QString::fromStdString(scratch));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().toStdString();
}

// ---- results ----

struct Result {
    std::string operation;
    std::string peer;
    Time qv;
    Time peerTime;
    std::string unit = "ms";
};

struct Size {
    int64_t records = 0;
    std::vector<Result> results;
};

std::vector<Size> g_sizes;

void record(const std::string& operation, Time qv, const std::string& peer, Time peerTime,
            const std::string& unit = "ms")
{
    g_sizes.back().results.push_back({operation, peer, qv, peerTime, unit});
    std::fprintf(stderr, "  %-46s %9.1f %9.1f %s | %-30s %9.1f %9.1f | %.2f\n", operation.c_str(), qv.cpu, qv.wall,
                 unit.c_str(), peer.c_str(), peerTime.cpu, peerTime.wall,
                 peerTime.cpu > 0 ? qv.cpu / peerTime.cpu : 0.0);
}

// --import-peak DB FILE: loads DB, imports FILE into it as the window does
// (read aside, then added) and prints "kB<TAB>image bytes after<TAB>before".
int importPeak(const std::string& dbPath, const std::string& file)
{
    qv::Database db;
    if (!db.load(QString::fromStdString(dbPath)).ok())
        fail("cannot load " + dbPath);
    const int64_t before = db.image.size();
    const qv::ImportResult r = qv::importTextFile(db, QString::fromStdString(file), nullptr, {});
    if (r.failed())
        fail("import: " + r.message.toStdString());
    std::printf("%ld\t%lld\t%lld\n", peakRssKb(), (long long)db.image.size(), (long long)before);
    return 0;
}

// --search-once QUERY DB [R]: loads DB and runs a fuzzy search of QUERY
// (UTF-8) over every field, printing the count of rows: for counting the
// search's instructions with callgrind (--toggle-collect='qv::searchEntries*'),
// which repeat exactly where timings on a shared machine do not. With R, the
// search runs R times more and the least and the median CPU ms are printed.
int searchOnce(const std::string& utf8, const std::string& dbPath, int reps)
{
    qv::Database db;
    if (!db.load(QString::fromStdString(dbPath)).ok())
        fail("cannot load " + dbPath);
    const std::optional<std::string> query = qv::gbk::fromUtf8(utf8);
    if (!query)
        fail("the query has no GBK form");
    const qv::EntryRowSet set = qv::searchEntries(db, *query, qv::QueryOptions());
    std::printf("%zu rows\n", set.rows.size());
    std::vector<double> cpu;
    for (int i = 0; i < reps; ++i) {
        const double c0 = threadCpuMs();
        qv::searchEntries(db, *query, qv::QueryOptions());
        cpu.push_back(threadCpuMs() - c0);
    }
    if (!cpu.empty())
        std::printf("cpu ms: least %.2f, median %.2f\n", *std::min_element(cpu.begin(), cpu.end()), median(cpu));
    return 0;
}

// The goals set for a million places.
std::string goalOf(const std::string& operation, const std::string& peer)
{
    static const std::map<std::pair<std::string, std::string>, std::string> goals = {
        {{"load", "libdeflate inflate alone"}, "≤ 1.2"},
        {{"save", "libdeflate level 9 alone"}, "≤ 1.1"},
        {{"search 山, 4 fields", "grep -F"}, "≤ 0.7"},
        {{"search bj, 4 fields", "grep -F"}, "≤ 0.7"},
        {{"search 0755, 4 fields", "grep -F"}, "≤ 0.7"},
        {{"search 0 (every row), 4 fields", "grep -F"}, "≤ 1.5"},
        {{"list the biggest directory (window)", ""}, "< 30 ms"},
        {{"peak RSS after searching 0 (window)", "image size"}, "≤ 2.5"},
        {{"peak RSS importing every place into the database", "image size after"}, "≤ 2.5"},
        {{"start-up to a painted window", "Qt hello window"}, "≤ 4"},
        {{"search bj, 4 fields", "grep -iF, rows with initials"}, "≤ 0.7"},
        {{"search xiamen, 4 fields", "grep -iF, rows with full pinyin"}, "≤ 1.0"},
        {{"order the rows of xian by relevance", "by area code"}, "≤ 2"},
        {{"order the rows of fu by relevance", "by area code"}, "≤ 2"},
        {{"longest the window waits while printing", ""}, "< 100 ms"},
        {{"longest the window waits during Ctrl+C", ""}, "< 100 ms"},
        {{"longest the window waits opening the preview", ""}, "< 100 ms"},
        {{"peak RSS growth adding one place (window)", "image size"}, "< 0.1"},
    };
    auto it = goals.find({operation, peer});
    return it == goals.end() ? std::string() : it->second;
}

std::string cell(const Result& r, bool cpu)
{
    const double q = cpu ? r.qv.cpu : r.qv.wall;
    const double p = cpu ? r.peerTime.cpu : r.peerTime.wall;
    char b[96];
    if (q < 0)
        return "failed";
    const char* unit = r.unit == "MB" ? " MB" : "";
    if (p > 0)
        std::snprintf(b, sizeof b, "%.1f%s / %.1f%s = **%.2f**", q, unit, p, unit, q / p);
    else if (r.peer.empty())
        std::snprintf(b, sizeof b, "%.1f%s", q, unit);
    else
        std::snprintf(b, sizeof b, "%.1f%s / n/a", q, unit);
    return b;
}

void printTable(FILE* out, bool cpu)
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Size& s : g_sizes)
        for (const Result& r : s.results)
            if (std::find(rows.begin(), rows.end(), std::make_pair(r.operation, r.peer)) == rows.end())
                rows.emplace_back(r.operation, r.peer);
    std::fprintf(out, "| %s | peer |", cpu ? "operation (CPU ms)" : "operation (wall ms)");
    for (const Size& s : g_sizes)
        std::fprintf(out, " %lld records |", (long long)s.records);
    std::fprintf(out, " goal at 1M |\n|---|---|");
    for (size_t i = 0; i < g_sizes.size(); ++i)
        std::fprintf(out, "---|");
    std::fprintf(out, "---|\n");
    for (const auto& [op, peer] : rows) {
        std::fprintf(out, "| %s | %s |", op.c_str(), peer.empty() ? "—" : peer.c_str());
        for (const Size& s : g_sizes) {
            std::string text = "";
            for (const Result& r : s.results)
                if (r.operation == op && r.peer == peer)
                    text = cell(r, cpu);
            std::fprintf(out, " %s |", text.c_str());
        }
        std::fprintf(out, " %s |\n", goalOf(op, peer).c_str());
    }
}

// ---- peers ----

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

bool zlibInflate(const uint8_t* stream, size_t size, std::vector<uint8_t>& out)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef*>(stream);
    zs.avail_in = uInt(size);
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && zs.total_out == out.size();
    inflateEnd(&zs);
    return ok;
}

bool libdeflateInflate(const uint8_t* stream, size_t size, std::vector<uint8_t>& out)
{
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t n = 0;
    const auto r = libdeflate_zlib_decompress(d, stream, size, out.data(), out.size(), &n);
    libdeflate_free_decompressor(d);
    return r == LIBDEFLATE_SUCCESS && n == out.size();
}

// `s` between `quote`s, each quote inside doubled: a CSV field ('"') or an SQL string ('\'').
std::string quotedText(std::string_view s, char quote)
{
    std::string out(1, quote);
    for (char c : s) {
        if (c == quote)
            out += quote;
        out += c;
    }
    return out + quote;
}
std::string csvField(std::string_view s) { return quotedText(s, '"'); }

// ---- one database ----

// Printing the biggest directory's list, Ctrl+C of every row of a search for
// 0 and adding one place, through the window in a fresh process: how long
// each takes, how long the window went without handling its events, and
// what adding a place does to the peak memory.
void runLongActions(const std::string& path, int reps, const std::string& uiBench, const std::string& scratch)
{
    const std::string out = runOutput({uiBench, "--long-actions", path, "--reps", std::to_string(reps)}, scratch);
    std::map<std::string, std::vector<double>> value;
    for (const QString& line : QString::fromStdString(out).split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() >= 3)
            value[f[0].toStdString()] = {f[1].toDouble(), f[2].toDouble(), f.value(3).toDouble()};
    }
    if (value.count("print") == 0 || value.count("copy") == 0 || value.count("peak_rss_add_kb") == 0)
        fail("qv-bench-ui --long-actions gave nothing");
    const auto ms = [](double v) { return Time{v, v}; };
    record("print the biggest directory to PDF (window)", ms(value["print"][0]), "", {});
    record("longest the window waits while printing", ms(value["print"][1]), "", {});
    if (value.count("preview")) {
        record("open the print preview of the biggest directory (window)", ms(value["preview"][0]), "", {});
        record("longest the window waits opening the preview", ms(value["preview"][1]), "", {});
    }
    record("Ctrl+C of every row of search 0 (window)", ms(value["copy"][0]), "", {});
    record("longest the window waits during Ctrl+C", ms(value["copy"][1]), "", {});
    const std::vector<double>& add = value["peak_rss_add_kb"];
    const double grownMb = (add[1] - add[0]) / 1024.0;
    const double imageMb = add[2] / (1024.0 * 1024.0);
    record("peak RSS growth adding one place (window)", {grownMb, grownMb}, "image size", {imageMb, imageMb}, "MB");
}

// Times one step given what a setup (untimed) makes, `reps` times.
template <class Setup, class Step> Time timeStep(int reps, Setup setup, Step step)
{
    std::vector<Time> runs;
    for (int i = 0; i < reps; ++i) {
        auto made = setup();
        const double c0 = threadCpuMs();
        const auto t0 = Clock::now();
        step(made);
        runs.push_back({msSince(t0), threadCpuMs() - c0});
    }
    return medianOf(runs);
}

// The full pinyin of a name as one reading per character gives it (the
// first the table lists), letters of one-byte characters as they are.
std::string fullPinyin(std::string_view name)
{
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const size_t n = qv::gbk::charSize(name, i);
        if (n == 2) {
            const std::vector<std::string_view> r = qv::charReadings(uint8_t(name[i]), uint8_t(name[i + 1]));
            if (!r.empty())
                out += r.front();
        } else if (std::isalpha(static_cast<unsigned char>(name[i]))) {
            out += name[i];
        }
        i += n;
    }
    return out;
}

void runFile(const std::string& path, int reps, const std::string& uiBench, const std::string& work, bool onlyLong,
             bool onlySearch)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        fail("no temporary folder");
    const QDir tmp(work.empty() ? scratch.path() : QString::fromStdString(work));
    auto in = [&](const char* name) { return tmp.filePath(QString::fromLatin1(name)).toStdString(); };
    const bool sqlite = runTimed({"sqlite3", "-version"}, in("version.txt")).wall >= 0;

    qv::Database db;
    const Time loadMs = timeMedian(reps, [&] {
        if (!db.load(QString::fromStdString(path)).ok())
            fail("cannot load " + path);
    });
    const int64_t records = db.image.entryCount();
    g_sizes.push_back({records, {}});
    std::fprintf(stderr, "%s: %lld records, image %.1f MB\n", path.c_str(), (long long)records,
                 double(db.image.size()) / 1e6);
    const int heavy = records >= 1000000 ? 1 : std::min(reps, 3);
    if (onlyLong) {
        runLongActions(path, heavy, uiBench, in("long.txt"));
        return;
    }

    // Load against inflating the same stream alone, into a buffer already touched.
    if (!onlySearch) {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            fail("cannot read " + path);
        const QByteArray file = f.readAll();
        const auto* stream = reinterpret_cast<const uint8_t*>(file.constData()) + 4;
        const size_t streamSize = size_t(file.size()) - 4;
        std::vector<uint8_t> buf(size_t(db.image.size()), 1);
        const Time lib = timeMedian(reps, [&] {
            if (!libdeflateInflate(stream, streamSize, buf))
                fail("libdeflate inflate");
        });
        const Time zl = timeMedian(reps, [&] {
            if (!zlibInflate(stream, streamSize, buf))
                fail("zlib inflate");
        });
        record("load", loadMs, "libdeflate inflate alone", lib);
        record("load", loadMs, "zlib inflate alone", zl);
    }

    // Save against compressing the same image alone.
    if (!onlySearch) {
        qv::Database copy;
        copy.loadImage(db.image.bytes());
        copy.setPath(QString::fromStdString(in("saved.dat")));
        const Time saveMs = timeMedian(heavy, [&] {
            if (!copy.save().ok)
                fail("save");
        });
        const Time lib = timeMedian(heavy, [&] { libdeflate9(db.image.bytes()); });
        record("save", saveMs, "libdeflate level 9 alone", lib);
    }

    // 更新数据's plan on a copy this size, in the worst case of a bundle as
    // large as the copy (every place is looked up), next to one load.
    {
        qv::Database base, theirs;
        base.loadImage(db.image.bytes());
        theirs.loadImage(db.image.bytes());
        const Time planMs = timeMedian(heavy, [&] {
            if (!qv::planUpdate(&base, db, theirs).changes.empty())
                fail("update plan of equal databases");
        });
        record("update plan", planMs, "load", loadMs);
    }

    // The text export: grep's input, and sqlite3's CSV output to compare with.
    const std::string text = in("kvrn.txt");
    const qv::ExportSource all = qv::ExportSource::allRecords(db.image);
    const Time exportMs = timeMedian(reps, [&] {
        if (!qv::writeTextFile(all, QString::fromStdString(text)).ok())
            fail("text export");
    });

    // An import file grouped by directory, as a user's file would be.
    const std::string importFile = in("import.txt");
    if (!onlySearch) {
        std::map<int32_t, std::string> names;
        db.tree.forEach([&](const qv::DirectoryNode* n, int) { names[n->id] = n->caption; });
        std::vector<std::pair<int32_t, int32_t>> byOwner;
        db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
            if (qv::entryOwner(rec) >= 0)
                byOwner.emplace_back(qv::entryOwner(rec), pos);
        });
        std::stable_sort(byOwner.begin(), byOwner.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string out;
        for (const auto& [owner, pos] : byOwner) {
            const qv::EntryRecord e = db.image.readEntry(pos);
            out += names[owner] + "," + e.name + "," + e.areaCode + "," + e.postcode + "\r\n";
        }
        QFile f(QString::fromStdString(importFile));
        if (!f.open(QIODevice::WriteOnly) || f.write(out.data(), qint64(out.size())) != qint64(out.size()))
            fail("cannot write the import file");
    }
    const Time importMs = onlySearch ? Time() : timeMedian(heavy, [&] {
        qv::Database target;
        const qv::ImportResult r = qv::importTextFile(target, QString::fromStdString(importFile), nullptr, {});
        if (r.failed())
            fail("import: " + r.message.toStdString());
    });
    const std::string imported = in("imported.sqlite");
    std::vector<Time> sqlImport;
    for (int i = 0; i < heavy && sqlite && !onlySearch; ++i) {
        QFile::remove(QString::fromStdString(imported));
        sqlImport.push_back(
            runTimed({"sqlite3", imported, "CREATE TABLE t(a,b,c,d);", ".mode csv", ".import " + importFile + " t"},
                     in("out.txt")));
    }
    if (!onlySearch)
        record("import", importMs, "sqlite3 .import", sqlite ? medianOf(sqlImport) : Time());
    const Time sqlExport =
        sqlite && !onlySearch ? runMedian(heavy, {"sqlite3", imported, ".mode csv", ".output " + in("t.csv"), "SELECT * FROM t;"},
                           in("out.txt"))
               : Time();
    if (!onlySearch)
        record("text export, every record", exportMs, "sqlite3 CSV output", sqlExport);

    // Memory of an import as large as the database, into it, in a fresh process.
    if (!onlySearch) {
        const std::string self = QCoreApplication::applicationFilePath().toStdString();
        const QStringList f =
            QString::fromStdString(runOutput({self, "--import-peak", path, importFile}, in("peak.txt")))
                .trimmed()
                .split(QLatin1Char('\t'));
        if (f.size() < 3)
            fail("qv-bench --import-peak gave nothing");
        const double mb = f[0].toDouble() / 1024.0, imageMb = f[1].toDouble() / (1024.0 * 1024.0);
        record("peak RSS importing every place into the database", {mb, mb}, "image size after", {imageMb, imageMb},
               "MB");
    }

    // The same live rows for sqlite3, as UTF-8 with the initials in a column,
    // and the directory with the most places.
    const std::string places = in("places.sqlite");
    const std::string initialsText = in("kvrn-initials.txt");  // the export, each line with the initials after
    const std::string pinyinText = in("kvrn-pinyin.txt");      // the same with the full pinyin after
    int32_t bigId = 0;
    {
        std::map<int32_t, std::string> names;
        db.tree.forEach([&](const qv::DirectoryNode* n, int) { names[n->id] = n->caption; });
        std::map<int32_t, int64_t> count;
        const qv::InitialsTable initials(db.learned);
        std::string csv, withInitials, withPinyin;
        db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
            const int32_t owner = qv::entryOwner(rec);
            if (owner < 0)
                return;
            ++count[owner];
            const std::string_view name = qv::readField(rec + qv::entry_field::kNameLen, qv::kNameCapacity);
            const std::string_view area = qv::readField(rec + qv::entry_field::kAreaLen, qv::kAreaCodeCapacity);
            const std::string_view post = qv::readField(rec + qv::entry_field::kPostLen, qv::kPostcodeCapacity);
            withInitials += names[owner] + "," + std::string(name) + "," + std::string(area) + "," + std::string(post) +
                            "," + initials.initials(name) + "\r\n";
            withPinyin += names[owner] + "," + std::string(name) + "," + std::string(area) + "," + std::string(post) +
                          "," + fullPinyin(name) + "\r\n";
            csv += csvField(qv::gbk::toUtf8(names[owner]).toStdString()) + "," +
                   csvField(qv::gbk::toUtf8(name).toStdString()) + "," + csvField(initials.initials(name)) + "," +
                   csvField(qv::readField(rec + qv::entry_field::kAreaLen, qv::kAreaCodeCapacity)) + "," +
                   csvField(qv::readField(rec + qv::entry_field::kPostLen, qv::kPostcodeCapacity)) + "," +
                   std::to_string(owner) + "\n";
        });
        int64_t most = -1;
        for (const auto& [id, n] : count)
            if (n > most) {
                most = n;
                bigId = id;
            }
        QFile dump(QString::fromStdString(initialsText));
        if (!dump.open(QIODevice::WriteOnly) || dump.write(withInitials.data(), qint64(withInitials.size())) < 0)
            fail("cannot write " + initialsText);
        dump.close();
        QFile pinyinDump(QString::fromStdString(pinyinText));
        if (!pinyinDump.open(QIODevice::WriteOnly) || pinyinDump.write(withPinyin.data(), qint64(withPinyin.size())) < 0)
            fail("cannot write " + pinyinText);
        pinyinDump.close();
        QFile f(tmp.filePath(QStringLiteral("places.csv")));
        if (!f.open(QIODevice::WriteOnly) || f.write(csv.data(), qint64(csv.size())) != qint64(csv.size()))
            fail("cannot write places.csv");
        f.close();
        QFile::remove(QString::fromStdString(places));
        if (sqlite && runTimed({"sqlite3", places, "CREATE TABLE p(dir,name,initials,area,post,owner INTEGER);",
                                ".mode csv", ".import " + in("places.csv") + " p", "CREATE INDEX p_area ON p(area);",
                                "CREATE INDEX p_owner ON p(owner);"},
                               in("out.txt"))
                              .wall < 0)
            fail("sqlite3 could not import places.csv");
    }

    // Fuzzy search over every field; Qarvenda sorts its rows as the list does.
    const struct {
        const char* label;
        const char* utf8;
    } queries[] = {{"search 山, 4 fields", "山"},
                   {"search 0755, 4 fields", "0755"},
                   {"search bj, 4 fields", "bj"},
                   {"search xm, 4 fields", "xm"},
                   {"search cq, 4 fields", "cq"},
                   {"search xiamen, 4 fields", "xiamen"},
                   {"search xian, 4 fields", "xian"},
                   {"search fu, 4 fields", "fu"},
                   {"search xyzzy9 (no match), 4 fields", "xyzzy9"},
                   {"search 0 (every row), 4 fields", "0"}};
    const qv::QueryOptions fuzzy;
    for (const auto& q : queries) {
        const std::string gbkQuery = *qv::gbk::fromUtf8(q.utf8);
        size_t rows = 0;
        const Time ms = timeMedian(reps, [&] {
            qv::EntryRowSet set = qv::searchEntries(db, gbkQuery, fuzzy);
            qv::sortEntryRows(set, qv::kColumnAreaCode, -1);
            rows = set.rows.size();
        });
        // grep gets the GBK bytes from a file, as they cannot pass as an argument here.
        QFile pattern(tmp.filePath(QStringLiteral("pattern")));
        if (!pattern.open(QIODevice::WriteOnly) || pattern.write(gbkQuery.data(), qint64(gbkQuery.size())) < 0)
            fail("cannot write the pattern");
        pattern.close();
        const Time grep =
            runMedian(reps, {"grep", "-a", "-F", "-f", in("pattern"), text}, in("grep.txt"), nullptr, true);
        record(q.label, ms, "grep -F", grep);
        if (std::isalpha(static_cast<unsigned char>(q.utf8[0]))) {
            // The export holds no initials (nor any b or j): grep then only
            // streams the file. The same question asked of grep: the rows
            // with their initials, letters of either case (for full pinyin
            // a peer that finds nothing but reads the same lines).
            const Time withInitials = runMedian(reps, {"grep", "-a", "-i", "-F", "-f", in("pattern"), initialsText},
                                                in("grep.txt"), nullptr, true);
            record(q.label, ms, "grep -iF, rows with initials", withInitials);
            // The same for full pinyin: the rows with the full pinyin of their names.
            const Time withPinyin = runMedian(reps, {"grep", "-a", "-i", "-F", "-f", in("pattern"), pinyinText},
                                              in("grep.txt"), nullptr, true);
            record(q.label, ms, "grep -iF, rows with full pinyin", withPinyin);
        }
        const std::string like = quotedText(std::string("%") + q.utf8 + "%", '\'');
        const Time sql =
            sqlite ? runMedian(reps,
                               {"sqlite3", places,
                                "SELECT dir,name,area,post FROM p WHERE name LIKE " + like + " OR initials LIKE " +
                                    like + " OR post LIKE " + like + " OR area LIKE " + like + ";"},
                               in("sql.txt"))
                   : Time();
        record(q.label, ms, "sqlite3 LIKE", sql);
        std::fprintf(stderr, "    (%zu rows)\n", rows);
    }

    // The order by relevance against the area-code order of the same rows:
    // the ordering alone, on a fresh result each time.
    for (const char* q : {"xian", "fu", "bj", "山", "0"}) {
        const std::string gbkQuery = *qv::gbk::fromUtf8(q);
        auto found = [&] { return qv::searchEntries(db, gbkQuery, fuzzy); };
        const Time rank =
            timeStep(reps, found, [&](qv::EntryRowSet& set) { qv::rankEntryRows(db, set, gbkQuery, fuzzy); });
        const Time sort =
            timeStep(reps, found, [&](qv::EntryRowSet& set) { qv::sortEntryRows(set, qv::kColumnAreaCode, -1); });
        record(std::string("order the rows of ") + q + " by relevance", rank, "by area code", sort);
    }

    // What the readings cost in memory: the tables built into the program
    // and those one search of bj / xiamen sets up.
    {
        const double fixedKb = double(qv::readingTableBytes()) / 1024.0;
        record("reading tables, in the program", {fixedKb, fixedKb}, "", {}, "KB");
        for (const char* q : {"bj", "xiamen"}) {
            const qv::PinyinQuery query(q, false, db.learned);
            const double kb = double(query.tableBytes()) / 1024.0;
            record(std::string("reading tables, one search of ") + q, {kb, kb}, "", {}, "KB");
        }
    }
    if (onlySearch)
        return;

    // Exact area code against an index.
    {
        qv::QueryOptions exact;
        exact.exact = true;
        exact.fuzzy = false;
        exact.byName = exact.byInitials = exact.byPostcode = false;
        const Time ms = timeMedian(reps, [&] {
            qv::EntryRowSet set = qv::searchEntries(db, "0755", exact);
            qv::sortEntryRows(set, qv::kColumnAreaCode, -1);
        });
        const Time sql =
            sqlite ? runMedian(reps, {"sqlite3", places, "SELECT dir,name,area,post FROM p WHERE area='0755';"},
                               in("sql.txt"))
                   : Time();
        record("search 0755, exact, area code only", ms, "sqlite3 with an index", sql);
    }

    // Listing the biggest directory, sorted as a listing is.
    {
        const qv::DirectoryNode* big = db.tree.findById(bigId);
        const std::string caption = big ? big->caption : std::string();
        const Time ms = timeMedian(reps, [&] {
            qv::EntryRowSet set = qv::listDirectory(db.image, bigId, caption);
            qv::sortEntryRows(set, qv::kColumnAreaCode, +1);
        });
        const Time sql = sqlite ? runMedian(reps,
                                            {"sqlite3", places,
                                             "SELECT dir,name,area,post FROM p WHERE owner=" + std::to_string(bigId) +
                                                 " ORDER BY area;"},
                                            in("sql.txt"))
                                : Time();
        record("list the biggest directory", ms, "sqlite3 with an index", sql);
    }

    // Through the window, each in a fresh process.
    // The program reads the file ahead while the window is built; the second
    // row loads it on the window's thread, for comparison.
    const Time startup = runMedian(reps, {uiBench, "--startup-read-ahead", path}, {}, "painted");
    const Time oneThread = runMedian(reps, {uiBench, "--startup", path}, {}, "painted");
    const Time hello = runMedian(reps, {uiBench, "--hello"}, {}, "painted");
    record("start-up to a painted window", startup, "Qt hello window", hello);
    record("start-up, no read-ahead", oneThread, "Qt hello window", hello);
    const std::string session =
        runOutput({uiBench, "--session", path, "--reps", std::to_string(reps)}, in("session.txt"));
    // Lines "what<TAB>wall<TAB>cpu" (times) or "what<TAB>kB<TAB>image bytes".
    std::map<std::string, std::pair<double, double>> value;
    for (const QString& line : QString::fromStdString(session).split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() >= 3)
            value[f[0].toStdString()] = {f[1].toDouble(), f[2].toDouble()};
    }
    if (value.empty())
        fail("qv-bench-ui --session gave nothing");
    record("list the biggest directory (window)", {value["list"].first, value["list"].second}, "", {});
    record("search 0 (every row) (window)", {value["search 0"].first, value["search 0"].second}, "", {});
    const double imageMb = value["peak_rss_kb"].second / (1024.0 * 1024.0);
    for (const auto& [key, label] :
         {std::pair<std::string, std::string>{"peak_rss_kb", "peak RSS after searching 0 (window)"},
          {"peak_rss_repeated_kb", "peak RSS after every search of the session"}}) {
        const double mb = value[key].first / 1024.0;
        record(label, {mb, mb}, "image size", {imageMb, imageMb}, "MB");
    }
    runLongActions(path, heavy, uiBench, in("long.txt"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--import-peak")
        return importPeak(argv[2], argv[3]);
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--search-once")
        return searchOnce(argv[2], argv[3], argc == 5 ? std::max(1, std::atoi(argv[4])) : 0);
    int reps = 5;
    std::string tsv, work;
    bool onlyLong = false, onlySearch = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reps" && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--tsv" && i + 1 < argc)
            tsv = argv[++i];
        else if (a == "--work" && i + 1 < argc)
            work = argv[++i];
        else if (a == "--only-long-actions")
            onlyLong = true;
        else if (a == "--only-search")
            onlySearch = true;
        else if (!a.empty() && a[0] != '-')
            files.push_back(a);
        else {
            std::fprintf(stderr, "usage: qv-bench [--reps R] [--tsv OUT] [--work DIR] [--only-long-actions|--only-search] FILE...\n");
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: qv-bench [--reps R] [--tsv OUT] [--work DIR] [--only-long-actions|--only-search] FILE...\n");
        return 2;
    }
    const std::string uiBench = QDir(QCoreApplication::applicationDirPath()).filePath("qv-bench-ui").toStdString();
    for (const std::string& f : files)
        runFile(f, reps, uiBench, work, onlyLong, onlySearch);
    printTable(stdout, true);
    std::printf("\n");
    printTable(stdout, false);
    if (!tsv.empty()) {
        FILE* out = std::fopen(tsv.c_str(), "w");
        if (!out)
            fail("cannot write " + tsv);
        for (const Size& s : g_sizes)
            for (const Result& r : s.results)
                std::fprintf(out, "%lld\t%s\t%s\t%.3f\t%.3f\t%.3f\t%.3f\t%s\n", (long long)s.records,
                             r.operation.c_str(), r.peer.c_str(), r.qv.cpu, r.peerTime.cpu, r.qv.wall, r.peerTime.wall,
                             r.unit.c_str());
        std::fclose(out);
    }
    return 0;
}
