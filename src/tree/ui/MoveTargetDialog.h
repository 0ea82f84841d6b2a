#pragma once
// 移动到: where places or a directory go, chosen from a tree of every
// directory with the keyboard alone (arrows, Enter to move, Esc to stay).
#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class DirectoryTree;
struct DirectoryNode;

class MoveTargetDialog : public QDialog {
    Q_OBJECT
public:
    // `moving` is the directory that moves, or nullptr when places move: a
    // directory can go to 顶层, never into its own branch, which is shown
    // greyed and cannot be chosen. The choice starts at `start` (nullptr:
    // 顶层, or the first directory). `what` says what moves.
    MoveTargetDialog(DirectoryTree& tree, const DirectoryNode* moving, const DirectoryNode* start, const QString& what,
                     QWidget* parent);

    // The directory chosen; nullptr for 顶层.
    DirectoryNode* target() const;

    QTreeWidget* Targets = nullptr;
    QPushButton* Button_ok = nullptr;
    QPushButton* Button_cancel = nullptr;

public slots:
    void accept() override;

private:
    bool canChoose(const QTreeWidgetItem* item) const;

    DirectoryTree& m_tree;
};

}  // namespace qv
