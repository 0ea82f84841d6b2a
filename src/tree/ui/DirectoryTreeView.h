#pragma once
// The directory tree control: any mouse button selects the node under it,
// Delete deletes, drags move directories and take rows from the entry list.
#include <QTreeView>

namespace qv {

struct DirectoryNode;
class DirectoryTreeModel;

class DirectoryTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit DirectoryTreeView(QWidget* parent = nullptr);

    DirectoryTreeModel* treeModel() const;
    DirectoryNode* currentNode() const;
    DirectoryNode* nodeAt(const QPoint& pos) const;
    // Opens the caption editor of `node` holding `text` instead of the caption
    // (a refused name, back for correcting).
    void editCaption(DirectoryNode* node, const QString& text);
    // The directory marked as the target of the drag under way, or nullptr.
    DirectoryNode* dropTargetNode() const;

    // One step of the drag auto-scroll for pointer height `y`: the next or
    // previous node becomes the top one near the lower or upper edge.
    void dragScrollStep(int y);
    // True while the focus arriving makes the first node current: that alone
    // lists nothing. Arriving by Tab it selects the node, so that the
    // commands act on the node marked.
    bool isTakingFocus() const { return m_takingFocus; }
    bool isTabbingIn() const { return m_takingFocus && m_tabbingIn; }
    // True while a caption is being edited in place.
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

signals:
    void deletePressed();
    // Enter or Space: list the current directory, even the one chosen already.
    void listPressed();
    // A directory dragged inside the tree was dropped; target is nullptr below the last node.
    void directoryDropped(qv::DirectoryNode* dragged, qv::DirectoryNode* target);
    // Rows of the entry list were dropped; target is nullptr below the last node.
    void entriesDropped(qv::DirectoryNode* target);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    bool acceptsDrag(const QMimeData* mime) const;
    void markDropTarget(const QModelIndex& target);
    // The directory a drop would go to, framed while the pointer is over it.
    QPersistentModelIndex m_dropTarget;
    DirectoryNode* m_dragged = nullptr;
    bool m_takingFocus = false;
    bool m_tabbingIn = false;
};

}  // namespace qv
