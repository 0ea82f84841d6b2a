// qv-gendb: writes a synthetic kvrn.dat for tests and benchmarks.
//
//   qv-gendb OUT --entries N [--dirs D] [--deleted PCT] [--learned K]
//            [--names repetitive|varied] [--seed S] [--big-dir N]
//
// The file is written by the program's own save, so it is a real database.
// The same arguments always give the same file.
#include "SyntheticDb.h"

#include "store/GbkText.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: qv-gendb OUT --entries N [--dirs D] [--deleted PCT] [--learned K]\n"
                 "                [--names repetitive|varied] [--seed S] [--big-dir N]\n"
                 "  --entries N   places to write (deleted ones included)\n"
                 "  --dirs D      directories, in three levels (default 300)\n"
                 "  --deleted PCT percent of the places marked deleted (default 5)\n"
                 "  --learned K   learned pinyin initials (default 20)\n"
                 "  --names       repetitive: a pool of 2,000 names (default); varied: random\n"
                 "  --seed S      seed of the generator (default 1)\n"
                 "  --big-dir N   put N live places into one directory (for listing tests)\n");
}

bool parseInt(const char* text, int64_t min, int64_t max, int64_t* out)
{
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || v < min || v > max)
        return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        usage();
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    qvgen::Options o;
    bool haveEntries = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "qv-gendb: %s needs a value\n", arg.c_str());
            return 2;
        }
        const char* value = argv[++i];
        int64_t v = 0;
        // Every record must stay addressable by a 32-bit position.
        const int64_t maxEntries = (int64_t(INT32_MAX) - (1 << 20)) / qv::kEntryRecordSize;
        bool ok = true;
        if (arg == "--entries") {
            ok = parseInt(value, 0, maxEntries, &v);
            o.entries = v;
            haveEntries = true;
        } else if (arg == "--dirs") {
            ok = parseInt(value, 1, 1000000, &v);
            o.dirs = int(v);
        } else if (arg == "--deleted") {
            ok = parseInt(value, 0, 100, &v);
            o.deletedPercent = int(v);
        } else if (arg == "--learned") {
            ok = parseInt(value, 0, 8000, &v);
            o.learned = int(v);
        } else if (arg == "--seed") {
            ok = parseInt(value, 0, INT64_MAX, &v);
            o.seed = uint64_t(v);
        } else if (arg == "--big-dir") {
            ok = parseInt(value, 0, maxEntries, &v);
            o.bigDir = v;
        } else if (arg == "--names") {
            ok = !std::strcmp(value, "repetitive") || !std::strcmp(value, "varied");
            o.varied = !std::strcmp(value, "varied");
        } else {
            std::fprintf(stderr, "qv-gendb: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "qv-gendb: bad value for %s: %s\n", arg.c_str(), value);
            return 2;
        }
    }
    if (!haveEntries) {
        usage();
        return 2;
    }
    if (o.bigDir > o.entries) {
        std::fprintf(stderr, "qv-gendb: --big-dir is larger than --entries\n");
        return 2;
    }

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    qv::Database db;
    db.setPath(out);
    qvgen::Summary s;
    try {
        s = qvgen::generate(db, o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv-gendb: %s\n", e.what());
        return 1;
    }
    const auto t1 = Clock::now();
    const bool tty = isatty(2);
    const qv::SaveReport saved = db.save([tty](int percent) {
        if (tty) {
            std::fprintf(stderr, "\rsaving %3d%%", percent);
            std::fflush(stderr);
        }
    });
    if (tty)
        std::fprintf(stderr, "\r            \r");
    if (!saved.ok) {
        std::fprintf(stderr, "qv-gendb: %s\n", saved.message.toLocal8Bit().constData());
        return 1;
    }
    const auto t2 = Clock::now();
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("%s: %lld live and %lld deleted places, %d directories, %zu learned initials\n",
                out.toLocal8Bit().constData(), (long long)s.live, (long long)s.deleted, db.tree.count(),
                db.learned.size());
    if (s.bigDirId)
        std::printf("big directory: id %d \"%s\" with %lld places\n", s.bigDirId,
                    qv::gbk::toQString(s.bigDirCaption).toUtf8().constData(), (long long)o.bigDir);
    std::printf("image %lld bytes, entries from %d; generated in %.0f ms, saved in %.0f ms\n",
                (long long)db.image.size(), db.image.entrySectionStart(), ms(t1 - t0), ms(t2 - t1));
    return 0;
}
