#pragma once
// The directory commands: new, insert, child, rename, delete, drag to move,
// open and close; and which directory is chosen.
#include <QObject>
#include <QString>

#include <utility>
#include <vector>

class QModelIndex;
class QWidget;

namespace qv {

class Database;
class DatabaseCommands;
class DirectoryTreeModel;
class DirectoryTreeView;
enum class NewDirectoryPlace;
struct DirectoryNode;

class TreeCommands : public QObject {
    Q_OBJECT
public:
    TreeCommands(Database& db, const DatabaseCommands& saving, DirectoryTreeView* view, DirectoryTreeModel* model,
                 QWidget* window);

    void mnuEditNodeClick();
    void mnuNewNodeClick();
    void mnuInsertNodeClick();
    void mnuSubNodeClick();
    void mnuDelNodeClick();
    // 移动到…: the chosen directory moves where the user picks, as by a drop.
    void mnuMoveNodeClick();
    void TreeView1Edited(DirectoryNode* node, const QString& text);
    void TreeView1EndDrag(DirectoryNode* dragged, DirectoryNode* target);
    void TreeView1Expanding(DirectoryNode* node);
    void TreeView1Collapsing(DirectoryNode* node);

    // Makes `node` current and selected (nullptr: none).
    void selectNode(DirectoryNode* node);
    // Lists the current directory (Enter or Space on it), after a search too.
    void listCurrent();

signals:
    // The chosen directory changed (TreeView1Change); nullptr when none is.
    void directoryChosen(qv::DirectoryNode* node);

private:
    void newDirectory(NewDirectoryPlace place);
    void currentChanged(const QModelIndex& current);
    void selectMarked(const QModelIndex& index);
    // Selects the node at `index` (none: invalid) and lists it.
    void list(const QModelIndex& index);

    Database& m_db;
    const DatabaseCommands& m_saving;
    DirectoryTreeView* m_view;
    DirectoryTreeModel* m_model;
    QWidget* m_window;
    bool m_suppressListing = false;
    // Captions typed while a save was writing the tree, applied once it is done.
    std::vector<std::pair<DirectoryNode*, QString>> m_heldEdits;
};

}  // namespace qv
