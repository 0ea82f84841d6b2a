#include "lookup/ui/SortMenu.h"

#include "lookup/ui/EntryListModel.h"

#include <QActionGroup>

namespace qv {

SortMenu::SortMenu(EntryListModel* list, QWidget* parent) : QMenu(QStringLiteral("排序"), parent), m_list(list)
{
    setObjectName(QStringLiteral("mmsortlist"));
    // Radio marks, yet none ticked while rows come best match first.
    auto group = [this] {
        auto* g = new QActionGroup(this);
        g->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        return g;
    };
    QActionGroup* columns = group();
    static const char* const names[] = {"mmsortowner", "mmsortname", "mmsortarea", "mmsortpost"};
    for (int c = 0; c < 4; ++c) {
        QAction* a = addAction(list->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        a->setObjectName(QString::fromLatin1(names[c]));
        a->setCheckable(true);
        columns->addAction(a);
        connect(a, &QAction::triggered, this, [this, c] { m_list->columnClicked(c); });
        m_columns[size_t(c)] = a;
    }
    addSeparator();
    QActionGroup* directions = group();
    auto direction = [&](const char* name, const char* caption, int sign) {
        QAction* a = addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(true);
        directions->addAction(a);
        connect(a, &QAction::triggered, this, [this, sign] { m_list->sortShown(m_list->shownSortColumn(), sign); });
        return a;
    };
    m_ascending = direction("mmsortasc", "升序", +1);
    m_descending = direction("mmsortdesc", "降序", -1);
    // Every change of order (these items, a header click, a listing, a
    // search) changes the header: the ticks follow it.
    connect(list, &QAbstractItemModel::headerDataChanged, this, &SortMenu::showOrder);
    showOrder();
}

void SortMenu::showOrder()
{
    const int column = m_list->shownSortColumn();
    const int direction = m_list->shownSortDirection();
    for (int c = 0; c < 4; ++c)
        m_columns[size_t(c)]->setChecked(c == column);
    m_ascending->setChecked(direction > 0);
    m_descending->setChecked(direction < 0);
    // A direction needs a column to apply to.
    m_ascending->setEnabled(column >= 0);
    m_descending->setEnabled(column >= 0);
}

}  // namespace qv
