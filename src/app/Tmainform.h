#pragma once
// The main window: builds the search bar, the directory tree, the entry list
// and the status bar, owns each subsystem's commands and routes the menus and
// window events to them. It holds no feature logic of its own.
#include "app/CommandTable.h"
#include "store/Database.h"

#include <QMainWindow>

class QLabel;
class QSplitter;

namespace qv {

class DatabaseCommands;
class DirectoryHits;
class DirectoryTreeModel;
class DirectoryTreeView;
class EntryCommands;
class EntryListModel;
class EntryListView;
class ExchangeCommands;
class PrintCommands;
class ShellCommands;
class SearchBar;
class SearchCommands;
class TreeCommands;
class UpdateCommands;
class Tfrminputpy;

class Tmainform : public QMainWindow {
    Q_OBJECT
public:
    // `databasePath` is "kvrn.dat" in the working folder for a normal run.
    explicit Tmainform(const QString& databasePath = QString::fromLatin1(Database::kFileName),
                       QWidget* parent = nullptr);
    ~Tmainform() override;

    // Takes the database file's lock (asking what to do when another window
    // has it), loads the database and builds the tree; a failure is shown in
    // the general error box and the window opens on an empty database.
    // `startProblem`, when given, is what went wrong in finding the database:
    // shown first, in place of the load's own message about a missing file.
    void FormCreate(const QString& startProblem = QString());
    // The database is to be opened read-only, for this reason (before FormCreate).
    void openReadOnly(const QString& why);
    // Reads the database file into the image and builds the tree.
    LoadReport LoadDatabase();
    // Releases the image when the window has closed.
    void FormClose();

    Database& database() { return m_db; }
    DirectoryTreeModel* treeModel() const { return m_treeModel; }
    EntryListModel* listModel() const { return m_listModel; }
    DirectoryTreeView* treeView() const { return m_tree; }
    EntryListView* listView() const { return m_list; }
    SearchBar* searchBar() const { return m_searchBar; }
    const MenuActions& actions() const { return m_actions; }
    const Menus& menus() const { return m_menus; }
    EntryCommands* entryCommands() const { return m_entryCommands; }
    ExchangeCommands* exchangeCommands() const { return m_exchangeCommands; }
    PrintCommands* printCommands() const { return m_printCommands; }
    ShellCommands* shellCommands() const { return m_shellCommands; }
    UpdateCommands* updateCommands() const { return m_updateCommands; }
    // The bundled database and whether the database file is the data folder's
    // copy of it; before FormCreate, which then keeps the copy current.
    void setBundledDatabase(const QString& bundled, bool madeFromBundle);
    QString statusText() const;
    QString countText() const;

    // Size, place and column widths from the last run, and their saving
    // (kept in the user's settings; the first start keeps the fixed layout).
    void restoreWindowState();
    void saveWindowState() const;
    // Ctrl+F: the query box takes the focus with its text selected.
    void focusQueryBox();
    // A directory a search found: opened in the tree and listed.
    void openDirectory(int32_t id);
    DirectoryHits* directoryHits() const { return m_directoryHits; }

protected:
    void closeEvent(QCloseEvent* event) override;    // FormCloseQuery, then FormClose
    void resizeEvent(QResizeEvent* event) override;  // FormResize
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // No menu of the window's own: the search bar cannot be hidden.
    QMenu* createPopupMenu() override { return nullptr; }

private:
    void buildCentre();
    void FormResize();
    void MainMenuToolsClick();
    void showCount();
    void nameControls();
    void showReadOnly(const QString& why);
    void showStatusText();

    Database m_db;
    DirectoryTreeModel* m_treeModel = nullptr;
    EntryListModel* m_listModel = nullptr;
    SearchBar* m_searchBar = nullptr;
    DirectoryTreeView* m_tree = nullptr;
    QSplitter* m_splitter = nullptr;
    EntryListView* m_list = nullptr;
    DirectoryHits* m_directoryHits = nullptr;
    QLabel* m_statusText = nullptr;
    QString m_updateNote;  // newer bundled data waits for 更新数据
    QLabel* m_statusCount = nullptr;
    Tfrminputpy* m_pinyinDialog = nullptr;
    DatabaseCommands* m_databaseCommands = nullptr;
    TreeCommands* m_treeCommands = nullptr;
    SearchCommands* m_searchCommands = nullptr;
    EntryCommands* m_entryCommands = nullptr;
    ExchangeCommands* m_exchangeCommands = nullptr;
    PrintCommands* m_printCommands = nullptr;
    ShellCommands* m_shellCommands = nullptr;
    UpdateCommands* m_updateCommands = nullptr;
    MenuActions m_actions;
    Menus m_menus;
    bool m_shown = false;
    bool m_painted = false;
};

}  // namespace qv
