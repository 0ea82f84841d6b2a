#pragma once
// The entry list's rows: a table over the core's row store, so that a list
// of a million places costs one array and no widget per row.
#include "lookup/EntryRows.h"
#include "store/Database.h"

#include <QAbstractTableModel>

namespace qv {

// Follows the records it shows: an edit refreshes the rows of that record,
// deleted or moved records leave, and a save or compaction carries positions.
class EntryListModel : public QAbstractTableModel, private EntryObserver {
    Q_OBJECT
public:
    explicit EntryListModel(Database& db, QObject* parent = nullptr);
    ~EntryListModel() override;

    // Replaces all rows (a listing or a search) and sorts them; the header
    // picture follows the new order.
    void setRows(EntryRowSet rows, int sortColumn, int sortDirection);
    // Replaces all rows with rows already in their order (by relevance): no
    // column orders them, no header shows an arrow, a new row goes last.
    void setRankedRows(EntryRowSet rows);
    void clear();
    const EntryRowSet& rowSet() const { return m_set; }
    // A view of row i: its texts stay valid until the rows or the image change.
    EntryRow row(int i) const { return m_set.rows[size_t(i)]; }
    int count() const { return int(m_set.rows.size()); }

    // Sort state: the column whose text orders the rows and +1/-1 (0 leaves
    // every pair equal, as at start-up).
    int sortColumn() const { return m_sortColumn; }
    int sortDirection() const { return m_sortDirection; }
    void sortBy(int column, int direction);

    // The list's comparison of two rows under the current sort state:
    // negative when `a` goes first, 0 when they are equal.
    int ListView1Compare(const EntryRow& a, const EntryRow& b) const;

    // Header pictures: -1 none, 3 ascending arrow, 4 descending arrow.
    int indicator(int column) const { return m_indicator[size_t(column)]; }
    // A header click: the clicked header's picture decides the direction.
    void columnClicked(int column);
    // Sorts by `column` in `direction` (+1/-1) and shows it in the header
    // (the 排序 menu's 升序 and 降序).
    void sortShown(int column, int direction);
    // The order the header shows: the column with an arrow (-1: none) and
    // its direction (0 when none).
    int shownSortColumn() const;
    int shownSortDirection() const;
    // That order as a screen reader says it ("按区号降序排序"); rows ranked
    // by relevance say so; empty when no order is shown.
    QString sortDescription() const;

    // Adds a row where the current order puts it; returns its index.
    int addRow(const std::string& directoryName, std::string_view name, std::string_view area, std::string_view post,
               int32_t position);
    // Shows new texts in a row before its record is written (the record
    // waits while unknown initials are asked about).
    void setRowTexts(int row, std::string_view name, std::string_view area, std::string_view post);
    // Removes the given rows (any order).
    void removeRowsAt(std::vector<int> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    void applyOrder(const std::vector<int>& order);
    // True when the rows read the image as it is now (not one a save replaced).
    bool readsLiveImage() const;
    // Lets the rows read the image as it is now when nothing has moved.
    void followImage();
    void entryRewritten(EntryPosition pos) override;
    void entriesGone(const std::vector<EntryPosition>& positions) override;
    void entriesRelocated(const Relocation& relocation) override;
    void directoryRenamed(int32_t id, const std::string& caption) override;

    Database& m_db;
    EntryRowSet m_set;
    int m_sortColumn = 0;
    int m_sortDirection = 0;
    std::array<int, 4> m_indicator{{-1, -1, 3, -1}};
};

}  // namespace qv
