#pragma once
// Shows the core's directory tree; follows its changes through the tree's
// observer hooks, so every edit goes through the core.
#include "store/DirectoryTree.h"

#include <QAbstractItemModel>

namespace qv {

class DirectoryTreeModel : public QAbstractItemModel, private DirectoryTreeObserver {
    Q_OBJECT
public:
    explicit DirectoryTreeModel(DirectoryTree& tree, QObject* parent = nullptr);
    ~DirectoryTreeModel() override;

    DirectoryNode* node(const QModelIndex& index) const;
    QModelIndex indexOf(const DirectoryNode* node) const;

    // Runs `rebuild`, which replaces the whole tree (a load), as one reset
    // instead of a notice per directory.
    template <class F> void rebuild(F&& rebuild)
    {
        beginResetModel();
        m_tree.setObserver(nullptr);
        rebuild();
        m_tree.setObserver(this);
        endResetModel();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // The one column is called 目录 (screen readers read the hidden header).
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

signals:
    // An in-place edit ended with `text`; the caption is changed only by the
    // handler, which checks it first.
    void captionEdited(qv::DirectoryNode* node, const QString& text);

private:
    void beforeInsert(DirectoryNode* parent, int row) override;
    void afterInsert() override;
    void beforeRemove(DirectoryNode* parent, int row) override;
    void afterRemove() override;
    void beforeMove(DirectoryNode* node, DirectoryNode* newParent) override;
    void afterMove() override;
    void beforeReset() override;
    void afterReset() override;
    void nodeChanged(DirectoryNode* node) override;

    DirectoryTree& m_tree;
};

}  // namespace qv
