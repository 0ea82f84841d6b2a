#include "tree/ui/DirectoryTreeView.h"

#include "tree/ui/DirectoryTreeModel.h"
#include "widgets/DragTypes.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <optional>

namespace qv {

namespace {
// The caption editor; it can start with a given text instead of the caption.
class CaptionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::optional<QString> startText;

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && startText) {
            line->setText(*startText);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
};
}  // namespace

DirectoryTreeView::DirectoryTreeView(QWidget* parent) : QTreeView(parent)
{
    setItemDelegate(new CaptionDelegate(this));
    setHeaderHidden(true);
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    // The target is marked by a frame round the whole directory (drawRow),
    // not by Qt's line between rows, since a drop always goes into it.
    setDropIndicatorShown(false);
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
    verticalScrollBar()->setAccessibleName(QStringLiteral("目录竖直滚动条"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("目录水平滚动条"));
}

void DirectoryTreeView::editCaption(DirectoryNode* node, const QString& text)
{
    auto* m = treeModel();
    const QModelIndex i = m ? m->indexOf(node) : QModelIndex();
    if (!i.isValid())
        return;
    auto* delegate = static_cast<CaptionDelegate*>(itemDelegate());
    delegate->startText = text;
    setCurrentIndex(i);
    scrollTo(i);
    edit(i);
    delegate->startText.reset();
}

DirectoryNode* DirectoryTreeView::dropTargetNode() const
{
    auto* m = treeModel();
    return m ? m->node(m_dropTarget) : nullptr;
}

void DirectoryTreeView::markDropTarget(const QModelIndex& target)
{
    if (target == m_dropTarget)
        return;
    const QModelIndex old = m_dropTarget;
    m_dropTarget = target;
    for (const QModelIndex& i : {old, target})
        if (i.isValid())
            viewport()->update(QRect(0, visualRect(i).top(), viewport()->width(), visualRect(i).height()));
}

void DirectoryTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QTreeView::drawRow(painter, option, index);
    if (!m_dropTarget.isValid() || index != m_dropTarget)
        return;
    painter->save();
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(60);
    const QRect r = visualRect(index).adjusted(0, 0, -1, -1);
    painter->fillRect(r, fill);
    painter->setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter->drawRect(r.adjusted(1, 1, 0, 0));
    painter->restore();
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
    if (state() != QAbstractItemView::EditingState) {
        const int key = event->key();
        if (key == Qt::Key_Delete) {
            emit deletePressed();
            return;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter ||
            (key == Qt::Key_Space && !(event->modifiers() & Qt::ControlModifier))) {
            emit listPressed();
            return;
        }
    }
    QTreeView::keyPressEvent(event);
}

void DirectoryTreeView::focusInEvent(QFocusEvent* event)
{
    // Tabbing into the tree marks its first directory, as a keyboard user
    // expects, but keeps what the list shows (a search's results): only
    // moving to a directory or Enter on it lists one.
    m_takingFocus = true;
    m_tabbingIn = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QTreeView::focusInEvent(event);
    m_takingFocus = false;
}

void DirectoryTreeView::startDrag(Qt::DropActions supportedActions)
{
    m_dragged = currentNode();
    if (!m_dragged)
        return;
    const QModelIndex i = currentIndex();
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData({i}));
    drag->setPixmap(drag::picture(i.data().toString(), font()));
    // Beside the pointer, so the directory under it stays in sight.
    drag->setHotSpot(drag::kPictureHotSpot);
    drag->exec(supportedActions, defaultDropAction());
    m_dragged = nullptr;
    markDropTarget({});
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
    QTreeView::dragMoveEvent(event);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    dragScrollStep(event->position().toPoint().y());
    markDropTarget(indexAt(event->position().toPoint()));
}

void DirectoryTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    QTreeView::dragLeaveEvent(event);
    markDropTarget({});
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
    markDropTarget({});
    setState(QAbstractItemView::NoState);
    viewport()->update();
    if (mime->hasFormat(drag::directoryFormat()))
        emit directoryDropped(m_dragged, target);
    else
        emit entriesDropped(target);
}

}  // namespace qv
