#pragma once
// The entry list control: a report list with grid lines, whole-row and
// multiple selection, rows that can be dragged onto the tree.
#include <QTableView>

#include <vector>

class QMenu;

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
    // The rows the list's commands act on: the selected ones, or else the
    // row with the focus mark (reached by keyboard, or left by a delete).
    std::vector<int> commandRows() const;
    int commandRow() const;
    // Makes `row` (clamped to the rows there are) current and the one selected.
    void makeCurrentRow(int row);
    // Takes the focus into the rows: the current row, else the first, is
    // current and selected.
    void enterRows();

    // Column widths. At first the columns share the list's width, each in
    // proportion to the room its texts need, and follow it as the window
    // changes; once the user sets a width the widths stay as set, the last
    // column taking what is left.
    bool columnsFollowWidth() const { return m_followWidth; }
    void setColumnsFollowWidth(bool follow);
    // Each column as wide as the texts it shows (the header's included).
    void fitColumnsToContents();
    // The room column c needs for the longest text its field can hold.
    int neededWidth(int column) const;
    // 自动调整列宽 and 默认列宽, for the header's menu and the list's.
    QList<QAction*> columnActions() const;

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
    void shareColumnWidths();
    void setSectionWidths(const std::vector<int>& widths);
    void showSortState();

    bool m_followWidth = true;
    bool m_sizingColumns = false;  // widths being set here, not by the user
    QAction* m_fitColumns = nullptr;
    QAction* m_defaultColumns = nullptr;
    QMenu* m_headerMenu = nullptr;
};

}  // namespace qv
