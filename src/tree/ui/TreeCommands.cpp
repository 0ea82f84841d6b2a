#include "tree/ui/TreeCommands.h"

#include "store/GbkText.h"
#include "store/ui/DatabaseCommands.h"
#include "tree/DirectoryCommands.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "tree/ui/MoveTargetDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QTimer>
#include <QWidget>

namespace qv {

TreeCommands::TreeCommands(Database& db, const DatabaseCommands& saving, DirectoryTreeView* view,
                           DirectoryTreeModel* model, QWidget* window)
    : QObject(window), m_db(db), m_saving(saving), m_view(view), m_model(model), m_window(window)
{
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, &TreeCommands::currentChanged);
    connect(view, &QTreeView::expanded, this, [this](const QModelIndex& i) { TreeView1Expanding(m_model->node(i)); });
    connect(view, &QTreeView::collapsed, this, [this](const QModelIndex& i) { TreeView1Collapsing(m_model->node(i)); });
    // The check of an edited caption may show a message: after the editor has closed.
    connect(model, &DirectoryTreeModel::captionEdited, this, &TreeCommands::TreeView1Edited, Qt::QueuedConnection);
    connect(view, &DirectoryTreeView::deletePressed, this, &TreeCommands::mnuDelNodeClick);
    connect(view, &DirectoryTreeView::listPressed, this, &TreeCommands::listCurrent);
    connect(view, &DirectoryTreeView::directoryDropped, this, &TreeCommands::TreeView1EndDrag);
    connect(&saving, &DatabaseCommands::saveFinished, this, [this] {
        QTimer::singleShot(0, this, [this] {
            for (auto& [node, text] : std::exchange(m_heldEdits, {}))
                TreeView1Edited(node, text);
        });
    });
}

void TreeCommands::currentChanged(const QModelIndex& current)
{
    if (m_view->isTakingFocus()) {
        if (m_view->isTabbingIn())
            selectMarked(current);
        return;
    }
    if (!m_suppressListing)
        list(current);
}

// Keyboard focus makes a node current without selecting it; selecting it
// makes the commands act on the node marked.
void TreeCommands::selectMarked(const QModelIndex& index)
{
    if (index.isValid() && !m_view->selectionModel()->isSelected(index))
        m_view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
}

void TreeCommands::list(const QModelIndex& index)
{
    selectMarked(index);
    emit directoryChosen(m_model->node(index));
}

void TreeCommands::listCurrent()
{
    if (m_view->currentIndex().isValid())
        list(m_view->currentIndex());
}

void TreeCommands::selectNode(DirectoryNode* node)
{
    const QModelIndex i = m_model->indexOf(node);
    if (i.isValid())
        m_view->setCurrentIndex(i);
    else
        m_view->selectionModel()->clearCurrentIndex();
}

void TreeCommands::newDirectory(NewDirectoryPlace place)
{
    DirectoryNode* anchor = m_view->currentNode();
    if (place == NewDirectoryPlace::LastChild && !anchor)
        return;
    DirectoryNode* node = createDirectory(m_db, anchor, place);
    if (!node) {
        showMessage(m_window, QStringLiteral("目录编号已经用完，不能再增加目录。"));
        return;
    }
    if (place == NewDirectoryPlace::LastChild)
        m_view->expand(m_model->indexOf(anchor));
    // Editing the new caption selects it, as the tree control always does.
    const QModelIndex i = m_model->indexOf(node);
    m_view->setCurrentIndex(i);
    m_view->scrollTo(i);
    m_view->edit(i);
}

void TreeCommands::mnuNewNodeClick() { newDirectory(NewDirectoryPlace::LastSibling); }
void TreeCommands::mnuInsertNodeClick() { newDirectory(NewDirectoryPlace::Before); }
void TreeCommands::mnuSubNodeClick() { newDirectory(NewDirectoryPlace::LastChild); }

void TreeCommands::mnuEditNodeClick()
{
    if (DirectoryNode* node = m_view->currentNode())
        m_view->edit(m_model->indexOf(node));
}

void TreeCommands::TreeView1Edited(DirectoryNode* node, const QString& text)
{
    if (m_saving.isSaving()) {
        // The tree is being written: the new caption waits until that is done.
        m_heldEdits.emplace_back(node, text);
        return;
    }
    // The node may have gone while the edit was being delivered.
    if (!m_db.tree.holds(node))
        return;
    const QString bad = gbk::firstUnencodable(text);
    // A refused name comes back in the editor, to be corrected rather than typed again.
    if (!bad.isEmpty()) {
        showMessage(m_window, QStringLiteral("“%1”不是GBK字符，不能用在目录名中。").arg(bad));
        selectNode(node);
        m_view->editCaption(node, text);
        return;
    }
    if (renameDirectory(m_db, node, *gbk::fromQString(text)) != CaptionCheck::Ok) {
        showMessage(m_window, QStringLiteral("标题不能为空，长度不能超过25！\n"
                                             "长度按字节计算：最多25个字节，一个汉字占两个字节。"));
        selectNode(node);
        m_view->editCaption(node, text.isEmpty() ? gbk::toQString(node->caption) : text);
    }
}

void TreeCommands::mnuDelNodeClick()
{
    DirectoryNode* node = m_view->currentNode();
    if (!node)
        return;
    if (node->hasChildren()) {
        showMessage(m_window, QStringLiteral("不能删除有子目录的目录，请先删除子目录！"));
        return;
    }
    // What goes with it, counted before anything changes, so that a slip
    // shows what it would cost.
    const BranchSize size = branchSize(m_db, node);
    if (!confirm(m_window, QStringLiteral("你真的要删除所选择的目录吗？\n共%1个下级目录、%2条信息将被删除。")
                               .arg(size.directories)
                               .arg(size.entries)))
        return;
    // Afterwards the next directory of the same level is selected, else the
    // previous one, else the parent.
    DirectoryNode* parent = node->parent;
    const int row = node->row();
    DirectoryNode* next = nullptr;
    if (row + 1 < int(parent->children.size()))
        next = parent->children[size_t(row + 1)].get();
    else if (row > 0)
        next = parent->children[size_t(row - 1)].get();
    else if (parent != m_db.tree.root())
        next = parent;
    m_suppressListing = true;
    deleteDirectory(m_db, node);
    selectNode(next);
    m_suppressListing = false;
    emit directoryChosen(next);
}

void TreeCommands::mnuMoveNodeClick()
{
    DirectoryNode* node = m_view->currentNode();
    // Its key reaches the tree's caption editor too: a name being typed stays open.
    if (!node || m_view->isEditing())
        return;
    // The choice starts where the directory is now; choosing that moves nothing.
    MoveTargetDialog dialog(m_db.tree, node, node->parent == m_db.tree.root() ? nullptr : node->parent,
                            QStringLiteral("把目录“%1”连同它的下级目录和地名移到：").arg(gbk::toQString(node->caption)),
                            m_window);
    if (execModal(dialog) != QDialog::Accepted)
        return;
    TreeView1EndDrag(node, dialog.target());
    // It stays the chosen directory, now in its new place.
    m_view->scrollTo(m_model->indexOf(node));
}

void TreeCommands::TreeView1EndDrag(DirectoryNode* dragged, DirectoryNode* target)
{
    if (!dragged || !moveDirectory(m_db, dragged, target))
        return;
    if (target)
        m_view->expand(m_model->indexOf(target));
    // The moved branch shows its directories opened as they were.
    std::vector<DirectoryNode*> stack{dragged};
    while (!stack.empty()) {
        DirectoryNode* n = stack.back();
        stack.pop_back();
        if (n->expanded)
            m_view->setExpanded(m_model->indexOf(n), true);
        for (auto& c : n->children)
            stack.push_back(c.get());
    }
}

void TreeCommands::TreeView1Expanding(DirectoryNode* node)
{
    if (node)
        setDirectoryExpanded(m_db, node, true);
}

void TreeCommands::TreeView1Collapsing(DirectoryNode* node)
{
    if (node)
        setDirectoryExpanded(m_db, node, false);
}

}  // namespace qv
