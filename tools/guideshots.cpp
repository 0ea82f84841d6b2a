// The user guide's pictures: the window on a copy of the bundled database,
// driven as a user would, each state grabbed as a PNG.
//   qv-guideshots BUNDLED_KVRN_DAT OUTPUT_FOLDER
// Run by scripts/guide-shots.sh on a virtual display.
#include "app/Application.h"
#include "app/Tmainform.h"
#include "exchange/ui/ExchangeCommands.h"
#include "exchange/ui/TForm_export.h"
#include "lookup/ui/SearchBar.h"
#include "store/GbkText.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/Icons.h"
#include "widgets/Modal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QToolButton>

#include <cstdio>

using namespace qv;

namespace {

bool save(QWidget* w, const QString& folder, const char* name)
{
    QTest::qWait(300);
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const bool ok = w->grab().save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "could not write ") << path << Qt::endl;
    return ok;
}

DirectoryNode* node(Tmainform& w, const char* utf8)
{
    const std::string caption = gbk::fromQString(QString::fromUtf8(utf8)).value_or(std::string());
    DirectoryNode* found = nullptr;
    w.database().tree.forEach([&](DirectoryNode* n, int) {
        if (!found && n->caption == caption)
            found = n;
    });
    return found;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv-guideshots BUNDLED_KVRN_DAT OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QTemporaryDir work;
    const QString db = work.filePath(QStringLiteral("kvrn.dat"));
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), db) || !QDir().mkpath(out))
        return 1;
    QDir::setCurrent(work.path());
    setUpChineseUi(app);
    ensureResources();
    QApplication::setWindowIcon(applicationIcon());

    Tmainform w(db);
    w.FormCreate();
    w.resize(720, 440);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    bool ok = true;

    // Browsing: 广东省 opened, 深圳市 listed.
    DirectoryNode* city = node(w, "深圳市");
    if (!city)
        return 1;
    const QModelIndex i = w.treeModel()->indexOf(city);
    w.treeView()->scrollTo(i);
    QTest::mouseClick(w.treeView()->viewport(), Qt::LeftButton, {}, w.treeView()->visualRect(i).center());
    ok &= save(&w, out, "browse.png");

    // Searching by initials, exactly.
    w.searchBar()->jq->click();
    w.searchBar()->Edit1->setText(QStringLiteral("szs"));
    w.searchBar()->Button_search->click();
    ok &= save(&w, out, "search.png");

    // Searching by full pinyin, best match first: the directory that matches
    // shows as a link above the list. The order chosen is put back after.
    auto* relevance = w.findChild<QAction*>(QStringLiteral("mmsortrelevance"));
    auto* byCode = w.findChild<QAction*>(QStringLiteral("mmsortcode"));
    if (!relevance || !byCode)
        return 1;
    const bool wasRelevance = relevance->isChecked();
    relevance->trigger();
    w.searchBar()->mh->click();
    w.searchBar()->Edit1->setText(QStringLiteral("xian"));
    w.searchBar()->Button_search->click();
    ok &= save(&w, out, "relevance.png");
    (wasRelevance ? relevance : byCode)->trigger();

    // The export dialog, after a text export of the list.
    TForm_export* dialog = w.exchangeCommands()->exportDialog();
    dialog->texttype->setChecked(true);
    dialog->show();
    dialog->showWrittenFile(QStringLiteral("/home/wang/.local/share/qarvenda/kvrn.txt"));
    dialog->setProgress(100);
    ok &= save(dialog, out, "export.png");
    dialog->hide();

    // The message after an import: a UTF-8 file with a tab in one field and a
    // blank line before its last place. The file dialog is answered with it
    // and the closing message is grabbed; anything else is declined.
    const QString sample = work.filePath(QStringLiteral("sample.txt"));
    QFile file(sample);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(
            QStringLiteral("新区,东区,0755,518001\n新区,西\t区,0755,518002\n\n新区,南区,0755,518003\n").toUtf8()) < 0)
        return 1;
    file.close();
    bool summary = false;
    setModalHook([&](QDialog* d) {
        if (auto* files = qobject_cast<QFileDialog*>(d)) {
            files->selectFile(sample);
            static_cast<QDialog*>(files)->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(d); box && !summary) {
            summary = true;
            ok &= save(box, out, "import.png");
            box->accept();
        } else
            d->reject();
    });
    w.exchangeCommands()->mmimportClick();
    setModalHook({});
    ok &= summary;
    // The copy is thrown away: closing asks nothing.
    w.database().ModifiedFlag = false;
    w.close();
    return ok ? 0 : 1;
}
