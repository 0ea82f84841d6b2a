#include "tree/ui/MoveTargetDialog.h"

#include "store/DirectoryTree.h"
#include "store/GbkText.h"
#include "widgets/Fonts.h"
#include "widgets/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace qv {

namespace {
constexpr int kIdRole = Qt::UserRole;  // the directory's id; 0 for 顶层
}  // namespace

MoveTargetDialog::MoveTargetDialog(DirectoryTree& tree, const DirectoryNode* moving, const DirectoryNode* start,
                                   const QString& what, QWidget* parent)
    : QDialog(parent), m_tree(tree)
{
    setObjectName(QStringLiteral("MoveTargetDialog"));
    setWindowTitle(QStringLiteral("移动到"));
    setFont(songTi());

    auto* label = new QLabel(what, this);
    label->setWordWrap(true);
    Targets = new QTreeWidget(this);
    Targets->setObjectName(QStringLiteral("Targets"));
    // Named by the question above it ("把“深圳市”移到"), as a reader hears it.
    Targets->setAccessibleName(what);
    Targets->setHeaderLabels({QStringLiteral("目录")});  // hidden, but read by screen readers
    Targets->setHeaderHidden(true);
    Targets->setUniformRowHeights(true);
    Targets->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double-click chooses; arrows open and close.
    Targets->setExpandsOnDoubleClick(false);
    Targets->verticalScrollBar()->setAccessibleName(QStringLiteral("目标目录竖直滚动条"));
    Targets->horizontalScrollBar()->setAccessibleName(QStringLiteral("目标目录水平滚动条"));
    label->setBuddy(Targets);

    // A directory may become a top-level one: 顶层 holds all of them.
    QTreeWidgetItem* top = nullptr;
    if (moving) {
        top = new QTreeWidgetItem(Targets, {QStringLiteral("（顶层）")});
        top->setData(0, kIdRole, 0);
    }
    QTreeWidgetItem* startItem = top;
    // In tree order, each directory under the item of its parent: the
    // latest item made at each depth is the parent of the next one below it.
    std::vector<QTreeWidgetItem*> parents{top};
    std::as_const(tree).forEach([&](const DirectoryNode* node, int depth) {
        parents.resize(size_t(depth) + 1);
        const QStringList text{gbk::toQString(node->caption)};
        QTreeWidgetItem* parentItem = parents.back();
        auto* item = parentItem ? new QTreeWidgetItem(parentItem, text) : new QTreeWidgetItem(Targets, text);
        item->setData(0, kIdRole, node->id);
        item->setIcon(0, imageListIcon(node->hasChildren() ? kImageClosedBook : kImageBall));
        if (moving && moving->contains(node))
            item->setFlags(Qt::NoItemFlags);
        if (node == start)
            startItem = item;
        parents.push_back(item);
    });
    if (!startItem)
        startItem = Targets->topLevelItem(0);
    if (top)
        top->setExpanded(true);
    // Opened down to where the choice starts, and that directory too: its
    // subdirectories (the directory that moves among them) are the nearest choices.
    for (QTreeWidgetItem* i = startItem; i; i = i->parent())
        i->setExpanded(true);
    if (startItem) {
        Targets->setCurrentItem(startItem);
        Targets->scrollToItem(startItem, QAbstractItemView::PositionAtCenter);
    }

    Button_ok = new QPushButton(QStringLiteral("确定"), this);
    Button_ok->setObjectName(QStringLiteral("Button_ok"));
    Button_ok->setDefault(true);  // Enter in the tree moves
    Button_cancel = new QPushButton(QStringLiteral("取消"), this);
    Button_cancel->setObjectName(QStringLiteral("Button_cancel"));
    connect(Button_ok, &QPushButton::clicked, this, &MoveTargetDialog::accept);
    connect(Button_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Targets, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
    // 确定 only where the directory under the mark can take what moves.
    connect(Targets, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { Button_ok->setEnabled(canChoose(current)); });
    Button_ok->setEnabled(canChoose(Targets->currentItem()));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_ok);
    buttons->addWidget(Button_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Targets, 1);
    layout->addLayout(buttons);
    resize(320, 420);
    Targets->setFocus();
}

bool MoveTargetDialog::canChoose(const QTreeWidgetItem* item) const
{
    return item && (item->flags() & Qt::ItemIsEnabled);
}

void MoveTargetDialog::accept()
{
    if (canChoose(Targets->currentItem()))
        QDialog::accept();
}

DirectoryNode* MoveTargetDialog::target() const
{
    const QTreeWidgetItem* item = Targets->currentItem();
    const int32_t id = item ? item->data(0, kIdRole).toInt() : 0;
    return id > 0 ? m_tree.findById(id) : nullptr;
}

}  // namespace qv
