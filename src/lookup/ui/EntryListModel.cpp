#include "lookup/ui/EntryListModel.h"

#include "store/GbkText.h"
#include "widgets/DragTypes.h"
#include "widgets/Icons.h"

#include <QMimeData>

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qv {

EntryListModel::EntryListModel(Database& db, QObject* parent) : QAbstractTableModel(parent), m_db(db)
{
    m_db.addObserver(this);
}

EntryListModel::~EntryListModel() { m_db.removeObserver(this); }

namespace {
// The rows themselves go back to the system when freed (RowMemory.h); what a
// large sort took from the allocator is handed back once the list is set.
constexpr size_t kLargeList = 100000;
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
}  // namespace

void EntryListModel::setRows(EntryRowSet rows, int sortColumn, int sortDirection)
{
    const bool large = rows.rows.size() >= kLargeList || m_set.rows.size() >= kLargeList;
    beginResetModel();
    m_set = std::move(rows);  // the old rows are freed before the sort takes its room
    m_sortColumn = sortColumn;
    m_sortDirection = sortDirection;
    sortEntryRows(m_set, m_sortColumn, m_sortDirection, nullptr);
    // The header shows the order the rows are in.
    m_indicator.fill(-1);
    if (sortColumn >= 0 && sortColumn <= 3 && sortDirection != 0)
        m_indicator[size_t(sortColumn)] = sortDirection > 0 ? kImageSortUp : kImageSortDown;
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, 3);
    if (large)
        releaseFreedMemory();
}

void EntryListModel::setRankedRows(EntryRowSet rows)
{
    const bool large = rows.rows.size() >= kLargeList || m_set.rows.size() >= kLargeList;
    beginResetModel();
    m_set = std::move(rows);
    m_sortColumn = -1;
    m_sortDirection = 0;
    m_indicator.fill(-1);
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, 3);
    if (large)
        releaseFreedMemory();
}

void EntryListModel::clear()
{
    beginResetModel();
    m_set = EntryRowSet();
    endResetModel();
}

bool EntryListModel::readsLiveImage() const { return m_set.rows.image().sameBytes(m_db.image.ref()); }

void EntryListModel::followImage()
{
    // Here, on the window's thread and with no save under way, the records
    // are where the rows say: the rows may read the image as it is now (an
    // append may have moved it to a new buffer, or made it longer). A new
    // entry section start means a move the rows have not been told of.
    const ImageRef now = m_db.image.ref();
    if (m_set.rows.image().bytes && m_set.rows.image().entryStart == now.entryStart)
        m_set.rows.bind(now);
}

void EntryListModel::applyOrder(const std::vector<int>& order)
{
    // Keep selections and the current row on their rows across the sort.
    std::vector<int> newIndexOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newIndexOf[size_t(order[i])] = int(i);
    const QModelIndexList old = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(old.size());
    for (const QModelIndex& i : old)
        moved.append(i.row() < int(newIndexOf.size()) ? index(newIndexOf[size_t(i.row())], i.column()) : i);
    changePersistentIndexList(old, moved);
}

void EntryListModel::sortBy(int column, int direction)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortColumn = column;
    m_sortDirection = direction;
    applyOrder(sortEntryRows(m_set, column, direction));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int EntryListModel::ListView1Compare(const EntryRow& a, const EntryRow& b) const
{
    return compareEntryText(m_set.cellText(a, m_sortColumn), m_set.cellText(b, m_sortColumn)) * m_sortDirection;
}

void EntryListModel::columnClicked(int column)
{
    if (column < 0 || column > 3)
        return;
    // Ascending first; the ascending picture makes the next click descending.
    sortShown(column, m_indicator[size_t(column)] == kImageSortUp ? -1 : +1);
}

void EntryListModel::sortShown(int column, int direction)
{
    if (column < 0 || column > 3 || direction == 0)
        return;
    m_indicator.fill(-1);
    m_indicator[size_t(column)] = direction > 0 ? kImageSortUp : kImageSortDown;
    emit headerDataChanged(Qt::Horizontal, 0, 3);
    sortBy(column, direction > 0 ? +1 : -1);
}

int EntryListModel::shownSortColumn() const
{
    for (int c = 0; c < 4; ++c)
        if (m_indicator[size_t(c)] >= 0)
            return c;
    return -1;
}

int EntryListModel::shownSortDirection() const
{
    const int c = shownSortColumn();
    return c < 0 ? 0 : m_indicator[size_t(c)] == kImageSortUp ? +1 : -1;
}

namespace {
const char* const kCaptions[] = {"所属", "地区名称", "区号", "邮编(时差)"};
}  // namespace

QString EntryListModel::sortDescription() const
{
    const int c = shownSortColumn();
    if (c >= 0)
        return QStringLiteral("按%1%2排序")
            .arg(QString::fromUtf8(kCaptions[c]),
                 shownSortDirection() > 0 ? QStringLiteral("升序") : QStringLiteral("降序"));
    // Rows ranked by a search come best match first; no column orders them.
    return m_sortColumn < 0 ? QStringLiteral("按匹配程度排序") : QString();
}

int EntryListModel::addRow(const std::string& directoryName, std::string_view name, std::string_view area,
                           std::string_view post, int32_t position)
{
    // Rows hold each text cut to its field, as the record does.
    name = name.substr(0, kNameCapacity);
    area = area.substr(0, kAreaCodeCapacity);
    post = post.substr(0, kPostcodeCapacity);
    const std::string_view newText[] = {directoryName, name, area, post};
    // Straight to its place in the current order, after rows that compare equal.
    const bool sorted = m_sortColumn >= 0 && m_sortColumn <= 3;
    const auto goesBefore = [&](std::string_view text, const EntryRow& row) {
        return sorted && compareEntryText(text, m_set.cellText(row, m_sortColumn)) * m_sortDirection < 0;
    };
    const auto place = std::upper_bound(m_set.rows.begin(), m_set.rows.end(),
                                        sorted ? newText[m_sortColumn] : std::string_view(), goesBefore);
    const size_t lo = size_t(place - m_set.rows.begin());
    // The new record names its directory, which a later rename must reach.
    const int32_t owner = m_db.image.isEntryPosition(position) ? entryOwner(m_db.image.entryAt(position)) : 0;
    // Reuse the directory name of the last row when it is the same (the usual case).
    uint32_t dir = 0;
    if (!m_set.directoryNames.empty() && m_set.directoryNames.back() == directoryName &&
        m_set.directoryIds.size() == m_set.directoryNames.size() && m_set.directoryIds.back() == owner)
        dir = uint32_t(m_set.directoryNames.size() - 1);
    else
        dir = m_set.addDirectoryName(directoryName, std::max(owner, 0));
    if (m_set.rows.empty() && !m_set.rows.image().bytes)
        m_set.rows.bind(m_db.image.ref());
    followImage();
    // The record normally holds these texts already; otherwise the row keeps its own.
    bool fromRecord = false;
    if (readsLiveImage() && m_db.image.isEntryPosition(position)) {
        const uint8_t* rec = m_db.image.entryAt(position);
        fromRecord = readField(rec + entry_field::kNameLen, kNameCapacity) == name &&
                     readField(rec + entry_field::kAreaLen, kAreaCodeCapacity) == area &&
                     readField(rec + entry_field::kPostLen, kPostcodeCapacity) == post;
    }
    const int at = int(lo);
    beginInsertRows({}, at, at);
    m_set.rows.insert(size_t(at), position, dir, fromRecord, name, area, post);
    endInsertRows();
    return at;
}

void EntryListModel::setRowTexts(int r, std::string_view name, std::string_view area, std::string_view post)
{
    if (r < 0 || r >= count())
        return;
    m_set.rows.setTexts(size_t(r), name, area, post);
    emit dataChanged(index(r, kColumnName), index(r, kColumnPostcode));
}

void EntryListModel::removeRowsAt(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= count(); }), rows.end());
    if (rows.empty())
        return;
    size_t runs = 1;
    for (size_t i = 1; i < rows.size(); ++i)
        runs += rows[i] != rows[i - 1] + 1;
    if (runs > 64) {
        // Scattered rows of a long list: one pass instead of one erase per run.
        beginResetModel();
        std::vector<bool> gone(m_set.rows.size(), false);
        for (int r : rows)
            gone[size_t(r)] = true;
        m_set.rows.keepIf([&](size_t i) { return !gone[i]; });
        endResetModel();
        return;
    }
    // From the bottom up, one contiguous run at a time.
    for (size_t end = rows.size(); end > 0;) {
        size_t start = end - 1;
        while (start > 0 && rows[start - 1] == rows[start] - 1)
            --start;
        const int first = rows[start], last = rows[end - 1];
        beginRemoveRows({}, first, last);
        m_set.rows.erase(size_t(first), size_t(last) + 1);
        endRemoveRows();
        end = start;
    }
}

void EntryListModel::entryRewritten(EntryPosition pos)
{
    if (!m_db.image.isEntryPosition(pos))
        return;
    followImage();
    const bool live = readsLiveImage();
    const uint8_t* rec = m_db.image.entryAt(pos);
    for (size_t i = 0; i < m_set.rows.size(); ++i) {
        if (m_set.rows.position(i) != pos)
            continue;
        // The row shows its record again (texts it was given while the record waited are dropped).
        if (live)
            m_set.rows.useRecordTexts(i);
        else
            m_set.rows.setTexts(i, readField(rec + entry_field::kNameLen, kNameCapacity),
                                readField(rec + entry_field::kAreaLen, kAreaCodeCapacity),
                                readField(rec + entry_field::kPostLen, kPostcodeCapacity));
        emit dataChanged(index(int(i), kColumnName), index(int(i), kColumnPostcode));
    }
}

void EntryListModel::entriesGone(const std::vector<EntryPosition>& positions)
{
    followImage();
    // The positions come in ascending order.
    std::vector<int> rows;
    for (size_t i = 0; i < m_set.rows.size(); ++i)
        if (std::binary_search(positions.begin(), positions.end(), m_set.rows.position(i)))
            rows.push_back(int(i));
    removeRowsAt(std::move(rows));
}

void EntryListModel::entriesRelocated(const Relocation& relocation)
{
    // Rows whose record was purged leave first, with the view told; then
    // the rest take their new positions, which are not shown, and read the
    // image the records are in now.
    if (relocation.removesRecords()) {
        std::vector<int> dropped;
        for (size_t i = 0; i < m_set.rows.size(); ++i)
            if (relocation.map(m_set.rows.position(i)) < 0)
                dropped.push_back(int(i));
        removeRowsAt(std::move(dropped));
    }
    relocateRows(m_set, relocation);
}

void EntryListModel::directoryRenamed(int32_t id, const std::string& caption)
{
    if (!m_set.renameDirectory(id, caption) || m_set.rows.empty())
        return;
    // Sorted by 所属, the renamed rows may belong elsewhere now.
    if (m_sortColumn == kColumnDirectory && m_sortDirection != 0)
        sortBy(m_sortColumn, m_sortDirection);
    emit dataChanged(index(0, kColumnDirectory), index(count() - 1, kColumnDirectory), {Qt::DisplayRole});
}

int EntryListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }
int EntryListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const EntryRow r = m_set.rows[size_t(index.row())];
    if (role == Qt::DisplayRole)
        return gbk::toQString(m_set.cellText(r, index.column()));
    if (role == Qt::DecorationRole && index.column() == 0)
        return imageListIcon(kImageBall);
    return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section > 3)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kCaptions[section]);
    if (role == Qt::DecorationRole && m_indicator[size_t(section)] >= 0)
        return imageListIcon(m_indicator[size_t(section)]);
    // The arrow is a picture: a screen reader is told the order in words.
    if (role == Qt::AccessibleDescriptionRole)
        return section == shownSortColumn() ? sortDescription() : QString();
    return {};
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList EntryListModel::mimeTypes() const { return {drag::entriesFormat()}; }

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const
{
    // The rows that move are the list's selection when the drop happens.
    auto* mime = new QMimeData;
    mime->setData(drag::entriesFormat(), QByteArray::number(indexes.size()));
    return mime;
}

Qt::DropActions EntryListModel::supportedDragActions() const { return Qt::CopyAction | Qt::MoveAction; }

}  // namespace qv
