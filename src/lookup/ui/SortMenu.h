#pragma once
// 排序: the entry list's order without the mouse. One item per column does
// what a click on that column's header does; 升序 and 降序 set the direction
// of the column the list is sorted by. The ticks always show the order the
// header shows, however it was chosen.
#include <QMenu>

#include <array>

class QAction;

namespace qv {

class EntryListModel;

class SortMenu : public QMenu {
    Q_OBJECT
public:
    SortMenu(EntryListModel* list, QWidget* parent);

    QAction* byColumn(int column) const { return m_columns[size_t(column)]; }
    QAction* ascending() const { return m_ascending; }
    QAction* descending() const { return m_descending; }

private:
    void showOrder();

    EntryListModel* m_list;
    std::array<QAction*, 4> m_columns{};
    QAction* m_ascending = nullptr;
    QAction* m_descending = nullptr;
};

}  // namespace qv
