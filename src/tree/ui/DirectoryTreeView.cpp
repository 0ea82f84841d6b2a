#include "tree/ui/DirectoryTreeView.h"

#include "tree/ui/DirectoryTreeModel.h"
#include "widgets/DragTypes.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QFocusEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

namespace qv {

DirectoryTreeView::DirectoryTreeView(QWidget* parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // Scrolling while dragging is ours (one node per move near an edge):
    // Qt's own drag scrolling gets no margin to act in, while keyboard
    // moves still bring the current node into view.
    setAutoScroll(true);
    setAutoScrollMargin(0);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
}

DirectoryTreeModel* DirectoryTreeView::treeModel() const { return qobject_cast<DirectoryTreeModel*>(model()); }

DirectoryNode* DirectoryTreeView::currentNode() const
{
    auto* m = treeModel();
    return m && selectionModel() && selectionModel()->hasSelection() ? m->node(currentIndex()) : nullptr;
}

DirectoryNode* DirectoryTreeView::nodeAt(const QPoint& pos) const
{
    auto* m = treeModel();
    return m ? m->node(indexAt(pos)) : nullptr;
}

void DirectoryTreeView::mousePressEvent(QMouseEvent* event)
{
    // Any button selects what it points at, so the context menu and a drag
    // act on that node. The left button selects by itself; selecting for it
    // here would make the press look like one on a selected node, and the
    // release would then start renaming it.
    QModelIndex i = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton && i.isValid() && i != currentIndex())
        setCurrentIndex(i);
    QTreeView::mousePressEvent(event);
}

void DirectoryTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
        emit deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void DirectoryTreeView::focusInEvent(QFocusEvent* event)
{
    // Tabbing into the tree picks its first directory, as a keyboard user
    // expects; focus coming back from another window picks none.
    m_takingFocus = event->reason() != Qt::TabFocusReason && event->reason() != Qt::BacktabFocusReason;
    QTreeView::focusInEvent(event);
    m_takingFocus = false;
}

void DirectoryTreeView::startDrag(Qt::DropActions supportedActions)
{
    m_dragged = currentNode();
    if (!m_dragged)
        return;
    QTreeView::startDrag(supportedActions);
    m_dragged = nullptr;
}

bool DirectoryTreeView::acceptsDrag(const QMimeData* mime) const
{
    // Directories only from this tree; rows from the entry list; nothing else.
    if (mime->hasFormat(drag::directoryFormat()))
        return m_dragged != nullptr;
    return mime->hasFormat(drag::entriesFormat());
}

void DirectoryTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptsDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DirectoryTreeView::dragScrollStep(int y)
{
    QScrollBar* bar = verticalScrollBar();
    const int h = viewport()->height();
    if (y > h - 5 && bar->value() < bar->maximum())
        bar->setValue(bar->value() + 1);
    else if (y < 5 && bar->value() > bar->minimum())
        bar->setValue(bar->value() - 1);
}

void DirectoryTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptsDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    QTreeView::dragMoveEvent(event);  // drop indicator
    event->setDropAction(Qt::CopyAction);
    event->accept();
    dragScrollStep(event->position().toPoint().y());
}

void DirectoryTreeView::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!acceptsDrag(mime)) {
        event->ignore();
        return;
    }
    DirectoryNode* target = nodeAt(event->position().toPoint());
    // The move is ours: tell the source nothing was moved away by Qt.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setState(QAbstractItemView::NoState);
    viewport()->update();
    if (mime->hasFormat(drag::directoryFormat()))
        emit directoryDropped(m_dragged, target);
    else
        emit entriesDropped(target);
}

}  // namespace qv
