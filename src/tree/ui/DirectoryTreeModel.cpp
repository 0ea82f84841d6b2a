#include "tree/ui/DirectoryTreeModel.h"

#include "store/GbkText.h"
#include "widgets/DragTypes.h"
#include "widgets/Icons.h"

#include <QMimeData>

namespace qv {

DirectoryTreeModel::DirectoryTreeModel(DirectoryTree& tree, QObject* parent) : QAbstractItemModel(parent), m_tree(tree)
{
    m_tree.setObserver(this);
}

DirectoryTreeModel::~DirectoryTreeModel() { m_tree.setObserver(nullptr); }

DirectoryNode* DirectoryTreeModel::node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<DirectoryNode*>(index.internalPointer()) : nullptr;
}

QModelIndex DirectoryTreeModel::indexOf(const DirectoryNode* n) const
{
    if (!n || !n->parent)
        return {};
    return createIndex(n->row(), 0, const_cast<DirectoryNode*>(n));
}

void DirectoryTreeModel::nodeChanged(DirectoryNode* n)
{
    QModelIndex i = indexOf(n);
    if (i.isValid())
        emit dataChanged(i, i);
}

QModelIndex DirectoryTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const DirectoryNode* p = parent.isValid() ? node(parent) : m_tree.root();
    if (column != 0 || row < 0 || row >= int(p->children.size()))
        return {};
    return createIndex(row, 0, p->children[size_t(row)].get());
}

QModelIndex DirectoryTreeModel::parent(const QModelIndex& child) const
{
    const DirectoryNode* n = node(child);
    if (!n || !n->parent || n->parent == m_tree.root())
        return {};
    return indexOf(n->parent);
}

int DirectoryTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const DirectoryNode* p = parent.isValid() ? node(parent) : m_tree.root();
    return int(p->children.size());
}

int DirectoryTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant DirectoryTreeModel::data(const QModelIndex& index, int role) const
{
    const DirectoryNode* n = node(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return gbk::toQString(n->caption);
    case Qt::DecorationRole:
        return imageListIcon(n->icon);
    default:
        return {};
    }
}

bool DirectoryTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    DirectoryNode* n = node(index);
    if (!n || role != Qt::EditRole)
        return false;
    emit captionEdited(n, value.toString());
    return true;
}

QVariant DirectoryTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("目录");
    return QAbstractItemModel::headerData(section, orientation, role);
}

Qt::ItemFlags DirectoryTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled;
}

QStringList DirectoryTreeModel::mimeTypes() const { return {drag::directoryFormat(), drag::entriesFormat()}; }

QMimeData* DirectoryTreeModel::mimeData(const QModelIndexList& indexes) const
{
    auto* mime = new QMimeData;
    // The view remembers which node is dragged; the payload only names the kind.
    mime->setData(drag::directoryFormat(), QByteArray::number(indexes.size()));
    return mime;
}

Qt::DropActions DirectoryTreeModel::supportedDropActions() const { return Qt::MoveAction | Qt::CopyAction; }
Qt::DropActions DirectoryTreeModel::supportedDragActions() const { return Qt::MoveAction; }

void DirectoryTreeModel::beforeInsert(DirectoryNode* parent, int row) { beginInsertRows(indexOf(parent), row, row); }
void DirectoryTreeModel::afterInsert() { endInsertRows(); }
void DirectoryTreeModel::beforeRemove(DirectoryNode* parent, int row) { beginRemoveRows(indexOf(parent), row, row); }
void DirectoryTreeModel::afterRemove() { endRemoveRows(); }
void DirectoryTreeModel::beforeMove(DirectoryNode* n, DirectoryNode* newParent)
{
    const int row = n->row();
    beginMoveRows(indexOf(n->parent), row, row, indexOf(newParent), int(newParent->children.size()));
}
void DirectoryTreeModel::afterMove() { endMoveRows(); }
void DirectoryTreeModel::beforeReset() { beginResetModel(); }
void DirectoryTreeModel::afterReset() { endResetModel(); }

}  // namespace qv
