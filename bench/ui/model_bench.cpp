// qv-bench-ui: what a user waits for, through the main window (offscreen).
// Each mode is one fresh process, run by qv-bench (bench/bench.cpp):
//
//   qv-bench-ui --startup FILE   start as the program does, with FILE as the
//                                database; print "painted" once the window has
//                                been painted, then end
//   qv-bench-ui --startup-read-ahead FILE
//                                the same, reading FILE ahead on another thread
//                                while the window is built
//   qv-bench-ui --hello          the same for a Qt window with one label
//   qv-bench-ui --session FILE [--reps R]
//                                start, list the biggest directory, search 山
//                                and 0 (fuzzy, every field), each through the
//                                window; print the times, the peak RSS after
//                                the first search for 0 and after them all
//   qv-bench-ui --long-actions FILE [--reps R]
//                                start, list the biggest directory and add one
//                                place to it (peak RSS before and after); print
//                                that list to PDF through 打印 (time, and the
//                                longest the window went without handling its
//                                events); open 打印预览 of that list until the
//                                preview shows (time, the longest wait, pages);
//                                search 0, select every row and copy them
//                                with Ctrl+C (time)
#include "app/Application.h"
#include "app/Tmainform.h"
#include "entries/ui/EntryCommands.h"
#include "exchange/ui/PrintCommands.h"
#include "lookup/ui/EntryListView.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/SearchBar.h"
#include "store/DatabaseFile.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/Icons.h"
#include "widgets/Modal.h"

#include "../BenchClock.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <memory>
#include <vector>

using qvbench::median;
using qvbench::peakRssKb;
using qvbench::threadCpuMs;

namespace {

using Clock = std::chrono::steady_clock;

// The directory with the most live places.
qv::DirectoryNode* biggestDirectory(qv::Database& db)
{
    std::map<int32_t, int64_t> live;
    db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
        const int32_t owner = qv::entryOwner(rec);
        if (owner > 0)
            ++live[owner];
    });
    int32_t bigId = 0;
    int64_t most = -1;
    for (const auto& [id, n] : live)
        if (n > most) {
            most = n;
            bigId = id;
        }
    return db.tree.findById(bigId);
}

// Prints "painted" with the CPU milliseconds of the process so far, and ends
// the event loop, once `window` has been painted: the first paint event of
// any of its widgets, then the rest of that frame.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (!m_seen && e->type() == QEvent::Paint && o->isWidgetType() &&
            static_cast<QWidget*>(o)->window() == m_window) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                const double cpuMs = (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
                                     (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1e3;
                std::printf("painted %.3f\n", cpuMs);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_seen = false;
};

int startup(int argc, char** argv, const QString& file, bool readAhead)
{
    // As runApplication does it, with the window's database at `file`;
    // with `readAhead`, the file is read and inflated meanwhile on another
    // thread, as runApplication does first thing.
    if (readAhead)
        qv::preloadDatabaseFile(file);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Qarvenda"));
    qv::setUpChineseUi(app);
    qv::ensureResources();
    QApplication::setWindowIcon(qv::applicationIcon());
    qv::Tmainform window(file);
    window.FormCreate();
    PaintWatch watch(&window);
    window.show();
    return app.exec();
}

int hello(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Hello"));
    PaintWatch watch(&label);
    label.show();
    return app.exec();
}

// The main window as the program shows it, at a size every row fits; the
// program's fonts and resources are set up before the window is made.
std::unique_ptr<qv::Tmainform> showWindow(QApplication& app, const QString& file)
{
    qv::setUpChineseUi(app);
    qv::ensureResources();
    auto made = std::make_unique<qv::Tmainform>(file);
    qv::Tmainform& window = *made;
    window.FormCreate();
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();
    return made;
}

int session(int argc, char** argv, const QString& file, int reps)
{
    QApplication app(argc, argv);
    const std::unique_ptr<qv::Tmainform> shown = showWindow(app, file);
    qv::Tmainform& window = *shown;
    qv::Database& db = window.database();

    // The directory with the most live places, and another one to select in between.
    qv::DirectoryNode* big = biggestDirectory(db);
    qv::DirectoryNode* other = nullptr;
    db.tree.forEach([&](qv::DirectoryNode* n, int) {
        if (!other && n != big)
            other = n;
    });
    if (!big || !other) {
        std::fprintf(stderr, "qv-bench-ui: no directory to list\n");
        return 1;
    }
    std::vector<double> listMs, listCpu;
    for (int i = 0; i < reps; ++i) {
        window.treeView()->setCurrentIndex(window.treeModel()->indexOf(other));
        QApplication::processEvents();
        const double c0 = threadCpuMs();
        const auto t0 = Clock::now();
        window.treeView()->setCurrentIndex(window.treeModel()->indexOf(big));
        QApplication::processEvents();
        listMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        listCpu.push_back(threadCpuMs() - c0);
    }
    std::printf("list\t%.3f\t%.3f\t%d rows\n", median(listMs), median(listCpu), window.listModel()->count());

    for (const char* query : {"山", "0"}) {
        window.searchBar()->Edit1->setText(QString::fromUtf8(query));
        std::vector<double> ms, cpu;
        for (int i = 0; i < reps; ++i) {
            const double c0 = threadCpuMs();
            const auto t0 = Clock::now();
            window.searchBar()->Button_search->click();
            QApplication::processEvents();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            cpu.push_back(threadCpuMs() - c0);
            if (i == 0 && std::strcmp(query, "0") == 0)
                std::printf("peak_rss_kb\t%ld\t%lld\n", peakRssKb(), (long long)db.image.size());
        }
        std::printf("search %s\t%.3f\t%.3f\t%d rows\n", query, median(ms), median(cpu), window.listModel()->count());
    }
    std::printf("peak_rss_repeated_kb\t%ld\t%lld\n", peakRssKb(), (long long)db.image.size());
    std::fflush(stdout);
    db.ModifiedFlag = false;
    return 0;
}


// The longest time between two turns of the event loop while it runs.
class StallWatch : public QObject {
public:
    StallWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const auto now = Clock::now();
            m_longest = std::max(m_longest, std::chrono::duration<double, std::milli>(now - m_last).count());
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_last = Clock::now();
        m_timer.start(5);
    }
    double stop()
    {
        m_timer.stop();
        const double tail = std::chrono::duration<double, std::milli>(Clock::now() - m_last).count();
        return std::max(m_longest, tail);
    }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_longest = 0;
};

int longActions(int argc, char** argv, const QString& file, int reps)
{
    QApplication app(argc, argv);
    const std::unique_ptr<qv::Tmainform> shown = showWindow(app, file);
    qv::Tmainform& window = *shown;
    qv::Database& db = window.database();
    qv::DirectoryNode* big = biggestDirectory(db);
    if (!big) {
        std::fprintf(stderr, "qv-bench-ui: no directory to list\n");
        return 1;
    }
    window.treeView()->setCurrentIndex(window.treeModel()->indexOf(big));
    QApplication::processEvents();
    const int listed = window.listModel()->count();

    // One place added to the listed directory, as the add dialog's 确定 does.
    const long before = peakRssKb();
    window.entryCommands()->AppendInf(big, {"Bench", "0999", "999999"});
    QApplication::processEvents();
    std::printf("peak_rss_add_kb\t%ld\t%ld\t%lld\n", before, peakRssKb(), (long long)db.image.size());

    QTemporaryDir tmp;
    QPrinter& printer = window.printCommands()->printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(tmp.filePath(QStringLiteral("list.pdf")));
    std::vector<double> printMs, printStall;
    StallWatch watch;
    for (int i = 0; i < reps; ++i) {
        watch.start();
        const auto t0 = Clock::now();
        if (!window.printCommands()->printList(&window, window.listModel()->rowSet()))
            return 1;
        printMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        printStall.push_back(watch.stop());
    }
    std::printf("print\t%.3f\t%.3f\t%d rows\n", median(printMs), median(printStall), listed + 1);

    // 打印预览 until the dialog runs with its pages, then closed.
    std::vector<double> previewMs, previewStall;
    int previewPages = 0;
    for (int i = 0; i < reps; ++i) {
        Clock::time_point t0;
        qv::setModalHook([&](QDialog* d) {
            previewMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            previewStall.push_back(watch.stop());
            if (auto* preview = d->findChild<QPrintPreviewWidget*>())
                previewPages = preview->pageCount();
            d->reject();
        });
        watch.start();
        t0 = Clock::now();
        window.printCommands()->printPreview(&window, window.listModel()->rowSet());
        qv::setModalHook({});
        if (previewMs.size() != size_t(i + 1))
            return 1;
    }
    std::printf("preview\t%.3f\t%.3f\t%d rows, %d pages\n", median(previewMs), median(previewStall), listed + 1,
                previewPages);

    window.searchBar()->Edit1->setText(QStringLiteral("0"));
    window.searchBar()->Button_search->click();
    QApplication::processEvents();
    window.listView()->selectAll();
    std::vector<double> copyMs, copyStall;
    qsizetype copied = 0;
    for (int i = 0; i < reps; ++i) {
        QGuiApplication::clipboard()->clear();
        QApplication::processEvents();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        watch.start();
        const auto t0 = Clock::now();
        QApplication::sendEvent(window.listView(), &press);
        QApplication::processEvents();
        copyMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        copyStall.push_back(watch.stop());
        copied = QGuiApplication::clipboard()->text().size();
    }
    std::printf("copy\t%.3f\t%.3f\t%d rows, %lld characters\n", median(copyMs), median(copyStall),
                window.listModel()->count(), (long long)copied);
    std::fflush(stdout);
    db.ModifiedFlag = false;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--hello")
        return hello(argc, argv);
    if ((mode == "--startup" || mode == "--startup-read-ahead") && argc > 2)
        return startup(argc, argv, QString::fromLocal8Bit(argv[2]), mode == "--startup-read-ahead");
    if (mode == "--session" && argc > 2) {
        const int reps = argc > 4 && std::strcmp(argv[3], "--reps") == 0 ? std::max(1, std::atoi(argv[4])) : 5;
        return session(argc, argv, QString::fromLocal8Bit(argv[2]), reps);
    }
    if (mode == "--long-actions" && argc > 2) {
        const int reps = argc > 4 && std::strcmp(argv[3], "--reps") == 0 ? std::max(1, std::atoi(argv[4])) : 5;
        return longActions(argc, argv, QString::fromLocal8Bit(argv[2]), reps);
    }
    std::fprintf(stderr, "usage: qv-bench-ui --startup FILE | --startup-read-ahead FILE | --hello | "
                         "--session FILE [--reps R] | --long-actions FILE [--reps R]\n");
    return 2;
}
