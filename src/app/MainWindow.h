#pragma once
// The main window: search bar, directory tree, entry list and status bar.
// Every handler turns a user event into calls on the core.
#include "entries/EntryEditing.h"
#include "lookup/Search.h"
#include "store/Database.h"

#include <QMainWindow>

#include <map>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QSplitter;
class QToolButton;

namespace qv {

class DirectoryTreeModel;
class DirectoryTreeView;
class EntryListModel;
class EntryListView;
class TFrmAddInf;
class Tfrminputpy;

class Tmainform : public QMainWindow {
    Q_OBJECT
public:
    // `databasePath` is "kvrn.dat" in the working folder for a normal run.
    explicit Tmainform(const QString& databasePath = QString::fromLatin1(Database::kFileName),
                       QWidget* parent = nullptr);
    ~Tmainform() override;

    // Loads the database and builds the tree; a failure is shown in the
    // general error box and the window opens on an empty database.
    void FormCreate();
    // Reads the database file into the image and builds the tree.
    LoadReport LoadDatabase();
    // Asks to save when something changed; false keeps the window open.
    bool FormCloseQuery();
    // Releases the image when the window has closed.
    void FormClose();

    Database& database() { return m_db; }
    DirectoryTreeModel* treeModel() const { return m_treeModel; }
    EntryListModel* listModel() const { return m_listModel; }
    // Menu and context-menu items by their component name ("mmsave", "mnuDelNode", ...).
    QAction* action(const QString& name) const;
    QMenu* menu(const QString& name) const;
    QString countText() const;
    QueryOptions queryOptions() const;

    // Controls, by the names the rest of the program uses.
    QRadioButton* jq = nullptr;
    QRadioButton* mh = nullptr;
    QCheckBox* ckdqmc = nullptr;
    QCheckBox* ckdqpy = nullptr;
    QCheckBox* ckyzbm = nullptr;
    QCheckBox* ckdhqh = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* Button_search = nullptr;
    DirectoryTreeView* TreeView1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    EntryListView* ListView1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    TFrmAddInf* FrmAddInf = nullptr;
    Tfrminputpy* frminputpy = nullptr;

    // Directory commands.
    void mnuEditNodeClick();
    void mnuNewNodeClick();
    void mnuInsertNodeClick();
    void mnuSubNodeClick();
    void mnuDelNodeClick();
    void mmcloseClick();
    void TreeView1Change(DirectoryNode* node);
    void TreeView1Edited(DirectoryNode* node, const QString& text);
    void TreeView1EndDrag(DirectoryNode* dragged, DirectoryNode* target);
    void TreeView1Expanding(DirectoryNode* node);
    void TreeView1Collapsing(DirectoryNode* node);

    // Entry commands.
    void NewInfClick();
    void EditInfClick();
    void DelInfClick();
    void SelAllClick();
    void ListView1EndDrag(DirectoryNode* target);
    void ListView1ColumnClick(int column);
    void AppendInf(DirectoryNode* node, const EntryText& text);
    void RewriteInf(int row, const EntryText& text);

    // Database commands.
    void mmsaveClick();
    void mmcompresClick();
    void mmrecoverClick();
    // Saves with feedback; shows the error and returns false on failure.
    bool saveDatabase();

    // Search.
    void Button_searchClick();
    void jqClick();
    void mhClick();
    void mmjqClick();
    void mmmhClick();
    void ckdqmcClick();
    void ckdqpyClick();
    void ckyzbmClick();
    void ckdhqhClick();
    void mmdqmcClick();
    void mmdqpyClick();
    void mmyzbmClick();
    void mmdhqhClick();

    void MainMenuToolsClick();

protected:
    void closeEvent(QCloseEvent* event) override;  // FormCloseQuery, then FormClose
    void resizeEvent(QResizeEvent* event) override;  // FormResize
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSearchBar();
    void buildMenus();
    void buildCentre();
    void createDialogs();
    void FormResize();
    void newDirectory(int place);
    void selectNode(DirectoryNode* node);
    void showCount(int count);
    std::optional<char> askInitial(uint8_t lead, uint8_t trail);
    void learn(const std::string& name);
    static void setRadio(QRadioButton* button, bool checked);

    Database m_db;
    DirectoryTreeModel* m_treeModel = nullptr;
    EntryListModel* m_listModel = nullptr;
    std::map<QString, QAction*> m_actions;
    std::map<QString, QMenu*> m_menus;
    QActionGroup* m_modeGroup = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    bool m_suppressListing = false;
    bool m_saving = false;
};

}  // namespace qv
