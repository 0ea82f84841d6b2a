#include "store/ui/UpdateDialog.h"

#include "store/GbkText.h"
#include "widgets/Fonts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qv {

namespace {

enum Column { kKind, kPath, kName, kMine, kNew, kWhat, kColumns };

QString valuesText(const std::optional<PlaceValues>& v)
{
    if (!v)
        return QStringLiteral("（没有）");
    const QString area = gbk::toQString(v->areaCode), post = gbk::toQString(v->postcode);
    return QStringLiteral("%1 / %2").arg(area.isEmpty() ? QStringLiteral("—") : area,
                                         post.isEmpty() ? QStringLiteral("—") : post);
}

QString kindText(UpstreamChange::Kind kind)
{
    switch (kind) {
    case UpstreamChange::Added:
        return QStringLiteral("新增");
    case UpstreamChange::Changed:
        return QStringLiteral("修改");
    case UpstreamChange::Removed:
        return QStringLiteral("删除");
    }
    return QString();
}

QString outcomeText(UpstreamChange::Outcome outcome)
{
    switch (outcome) {
    case UpstreamChange::Apply:
        return QStringLiteral("将采用");
    case UpstreamChange::AlreadyThere:
        return QStringLiteral("已相同");
    case UpstreamChange::Conflict:
        return QStringLiteral("冲突：采用新数据");
    }
    return QString();
}

}  // namespace

UpdateDialog::UpdateDialog(UpdatePlan& plan, QWidget* parent) : QDialog(parent), m_plan(plan)
{
    setObjectName(QStringLiteral("UpdateDialog"));
    setWindowTitle(QStringLiteral("更新数据"));
    setFont(songTi());

    const int conflicts = plan.count(UpstreamChange::Conflict);
    QString text = plan.baseKnown
                       ? QStringLiteral("随程序附带的数据有了新的版本：新增 %1 个地区，修改 %2 个，删除 %3 个。")
                             .arg(plan.count(UpstreamChange::Added))
                             .arg(plan.count(UpstreamChange::Changed))
                             .arg(plan.count(UpstreamChange::Removed))
                       : QStringLiteral("这份数据库复制于较早的版本，不知道其中哪些是你自己的修改。下面是它与随程序附带的新数据"
                                        "不同的 %1 处；凡是没有选中“采用新数据”的，都保留你的数据。")
                             .arg(plan.changes.size());
    if (plan.baseKnown) {
        text += QStringLiteral("没有碰到你自己修改的 %1 处将被采用").arg(plan.count(UpstreamChange::Apply));
        text += conflicts > 0 ? QStringLiteral("；%1 处与你的修改冲突，请逐一决定（选中即采用新数据，否则保留你的）。")
                                    .arg(conflicts)
                              : QStringLiteral("。");
        text += QStringLiteral("你新增、修改和删除的其他数据都保留。");
    }
    text += QStringLiteral("删除的地区可以用“恢复数据库”找回。更新后数据库随即保存。");
    m_summary = new QLabel(text, this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("changeList"));
    m_list->setAccessibleName(QStringLiteral("数据的变动"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({QStringLiteral("变动"), QStringLiteral("所属"), QStringLiteral("地区名称"),
                             QStringLiteral("你的 区号 / 邮编"), QStringLiteral("新的 区号 / 邮编"),
                             QStringLiteral("处理")});
    m_list->header()->setAccessibleName(QStringLiteral("列标题"));
    // Conflicts first: they are what the user has to look at.
    std::vector<size_t> order;
    for (size_t i = 0; i < plan.changes.size(); ++i)
        if (plan.changes[i].outcome == UpstreamChange::Conflict)
            order.push_back(i);
    for (size_t i = 0; i < plan.changes.size(); ++i)
        if (plan.changes[i].outcome != UpstreamChange::Conflict)
            order.push_back(i);
    for (size_t i : order) {
        const UpstreamChange& c = plan.changes[i];
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(kKind, kindText(c.kind));
        item->setText(kPath, pathText(c.path));
        item->setText(kName, gbk::toQString(c.name));
        item->setText(kMine, valuesText(c.ours));
        item->setText(kNew, valuesText(c.theirs));
        item->setText(kWhat, outcomeText(c.outcome));
        item->setData(0, Qt::UserRole, qulonglong(i));
        if (c.outcome == UpstreamChange::Conflict) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(kWhat, c.takeTheirs ? Qt::Checked : Qt::Unchecked);
        }
    }
    for (int c = 0; c < kColumns; ++c)
        m_list->resizeColumnToContents(c);

    auto* buttons = new QDialogButtonBox(this);
    auto* update = buttons->addButton(QStringLiteral("更新"), QDialogButtonBox::AcceptRole);
    update->setObjectName(QStringLiteral("updateButton"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    if (conflicts > 0) {
        auto* allNew = new QPushButton(QStringLiteral("冲突全部采用新数据"), this);
        auto* allMine = new QPushButton(QStringLiteral("冲突全部保留我的"), this);
        buttons->addButton(allNew, QDialogButtonBox::ActionRole);
        buttons->addButton(allMine, QDialogButtonBox::ActionRole);
        connect(allNew, &QPushButton::clicked, this, [this] { takeAllTheirs(true); });
        connect(allMine, &QPushButton::clicked, this, [this] { takeAllTheirs(false); });
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(760, 420);
}

void UpdateDialog::takeAllTheirs(bool theirs)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->flags() & Qt::ItemIsUserCheckable)
            item->setCheckState(kWhat, theirs ? Qt::Checked : Qt::Unchecked);
    }
}

void UpdateDialog::accept()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        UpstreamChange& c = m_plan.changes[size_t(item->data(0, Qt::UserRole).toULongLong())];
        if (c.outcome == UpstreamChange::Conflict)
            c.takeTheirs = item->checkState(kWhat) == Qt::Checked;
    }
    QDialog::accept();
}

}  // namespace qv
