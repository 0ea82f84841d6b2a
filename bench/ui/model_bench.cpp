// qv-bench-ui: the same listing and search as a user gets them, through the
// main window: the core pass, filling the list model, the sort and the
// table view taking the new rows (offscreen).
//
//   qv-bench-ui [--entries N] [--big-dir N] [--reps R]
#include "../../tools/SyntheticDb.h"

#include "app/Application.h"
#include "app/Tmainform.h"
#include "lookup/ui/SearchBar.h"
#include "entries/ui/EntryCommands.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeView.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"

#include <QHeaderView>
#include <QToolButton>
#include <QLineEdit>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void timeIt(const char* what, int reps, const std::function<int()>& f)
{
    std::vector<double> ms;
    int rows = 0;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = Clock::now();
        rows = f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s %9.1f ms median %9.1f ms best  %8d rows\n", what, ms[ms.size() / 2], ms.front(), rows);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int64_t entries = 1000000, bigDir = 200000;
    int reps = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--entries")
            entries = std::stoll(argv[i + 1]);
        else if (a == "--big-dir")
            bigDir = std::stoll(argv[i + 1]);
        else if (a == "--reps")
            reps = std::stoi(argv[i + 1]);
    }
    QApplication app(argc, argv);
    qv::setUpChineseUi(app);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kvrn.dat"));
    qvgen::Options o;
    o.entries = entries;
    o.bigDir = bigDir;
    o.dirs = 3000;
    o.seed = 42;
    qvgen::Summary summary;
    {
        qv::Database made;
        summary = qvgen::generate(made, o);
        made.setPath(path);
        if (!made.save().ok) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("%lld entries, %lld in the listed directory\n", (long long)entries, (long long)bigDir);

    qv::Tmainform window(path);
    auto t0 = Clock::now();
    window.FormCreate();
    std::printf("%-44s %9.1f ms\n", "start: load the file, build the tree",
                std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();

    qv::DirectoryNode* big = window.database().tree.findById(summary.bigDirId);
    qv::DirectoryNode* other = window.database().tree.root()->children.front().get();
    if (big == other)
        other = window.database().tree.root()->children.back().get();
    timeIt("list the big directory (select it)", reps, [&] {
        window.treeView()->setCurrentIndex(window.treeModel()->indexOf(other));
        const auto t = Clock::now();
        window.treeView()->setCurrentIndex(window.treeModel()->indexOf(big));
        QApplication::processEvents();
        (void)t;
        return window.listModel()->count();
    });
    timeIt("sort the listed rows by name (header click)", reps, [&] {
        emit window.listView()->horizontalHeader()->sectionClicked(1);
        QApplication::processEvents();
        return window.listModel()->count();
    });

    const struct {
        const char* label;
        const char* query;
    } queries[] = {{"search 山 (fuzzy, all fields)", "山"},
                   {"search bj", "bj"},
                   {"search 0755", "0755"},
                   {"search xyzzy9 (no match)", "xyzzy9"}};
    for (const auto& q : queries) {
        window.searchBar()->Edit1->setText(QString::fromUtf8(q.query));
        timeIt(q.label, reps, [&] {
            window.searchBar()->Button_search->click();
            QApplication::processEvents();
            return window.listModel()->count();
        });
    }
    window.database().ModifiedFlag = false;
    return 0;
}
