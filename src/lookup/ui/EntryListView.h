#pragma once
// The entry list control: a report list with grid lines, whole-row and
// multiple selection, rows that can be dragged onto the tree.
#include <QTableView>

namespace qv {

class EntryListModel;

class EntryListView : public QTableView {
    Q_OBJECT
public:
    explicit EntryListView(QWidget* parent = nullptr);
    // The list's order is also told to screen readers and kept in the
    // header's own sort state, whenever the model's header changes.
    void setModel(QAbstractItemModel* model) override;

    EntryListModel* listModel() const;
    // Selected rows, top to bottom in the list's current order.
    std::vector<int> selectedRowsInOrder() const;
    // The topmost selected row, or -1.
    int topSelectedRow() const;

signals:
    void deletePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    // Home and End go to the first and last row, not column.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    QRect rowRect(int row) const;
    void showSortState();
};

}  // namespace qv
