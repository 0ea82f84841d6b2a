#include "lookup/ui/EntryListView.h"

#include "lookup/CopyRows.h"
#include "lookup/EntryRows.h"
#include "lookup/ui/EntryListModel.h"
#include "store/Records.h"
#include "widgets/DragTypes.h"
#include "widgets/LongTask.h"

#include <QAction>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace qv {

namespace {
// The focus mark goes round the whole current row (drawn by the view), not
// round one cell of it.
class RowFocusDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem o(option);
        o.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, o, index);
    }
};
}  // namespace

EntryListView::EntryListView(QWidget* parent) : QTableView(parent)
{
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    // Fixed row heights keep a list of a million rows as cheap as one of ten.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Tab leaves the list instead of walking its cells.
    setTabKeyNavigation(false);
    setItemDelegate(new RowFocusDelegate(this));
    verticalScrollBar()->setAccessibleName(QStringLiteral("列表竖直滚动条"));
    horizontalScrollBar()->setAccessibleName(QStringLiteral("列表水平滚动条"));

    // Column widths: the header's context menu, the list's menu and two keys.
    horizontalHeader()->setStretchLastSection(true);
    m_fitColumns = new QAction(QStringLiteral("自动调整列宽"), this);
    m_fitColumns->setObjectName(QStringLiteral("mmfitcolumns"));
    m_fitColumns->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(m_fitColumns, &QAction::triggered, this, &EntryListView::fitColumnsToContents);
    m_defaultColumns = new QAction(QStringLiteral("默认列宽"), this);
    m_defaultColumns->setObjectName(QStringLiteral("mmdefaultcolumns"));
    m_defaultColumns->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(m_defaultColumns, &QAction::triggered, this, [this] { setColumnsFollowWidth(true); });
    for (QAction* a : {m_fitColumns, m_defaultColumns}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
    }
    m_headerMenu = new QMenu(this);
    m_headerMenu->setObjectName(QStringLiteral("HeaderMenu"));
    m_headerMenu->setAccessibleName(QStringLiteral("列宽菜单"));
    m_headerMenu->addActions({m_fitColumns, m_defaultColumns});
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_headerMenu->popup(horizontalHeader()->viewport()->mapToGlobal(p)); });
    // A width the user sets stays; the last column only ever fills the rest.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical) {
        if (!m_sizingColumns && model() && logical < model()->columnCount() - 1)
            m_followWidth = false;
    });
}

QList<QAction*> EntryListView::columnActions() const { return {m_fitColumns, m_defaultColumns}; }

namespace {
// What a cell adds to its text, as the tooltip check below counts it.
int cellPadding(const QWidget* view)
{
    return 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 4 + 1;  // + grid line
}
}  // namespace

int EntryListView::neededWidth(int column) const
{
    // The longest text each field holds: 25 bytes of a caption or a name are
    // twelve Chinese characters; area codes and postcodes are digits.
    QString longest;
    switch (column) {
    case kColumnDirectory:
    case kColumnName:
        longest = QString(kNameCapacity / 2, QChar(0x56FD));  // 国
        break;
    case kColumnAreaCode:
        longest = QString(kAreaCodeCapacity, QLatin1Char('0'));
        break;
    case kColumnPostcode:
        longest = QString(kPostcodeCapacity, QLatin1Char('0'));
        break;
    default:
        break;
    }
    int cell = fontMetrics().horizontalAdvance(longest) + cellPadding(this);
    if (column == kColumnDirectory)
        cell += (iconSize().isValid() ? iconSize().width()
                                      : style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this)) +
                4;
    // The header, with room for the sort arrow whichever column has it.
    QHeaderView* h = horizontalHeader();
    int header = h->sectionSizeHint(column);
    if (model() && model()->headerData(column, Qt::Horizontal, Qt::DecorationRole).isNull())
        header += style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, h) +
                  style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    return std::max(cell, header);
}

void EntryListView::setSectionWidths(const std::vector<int>& widths)
{
    m_sizingColumns = true;
    // The last column stretches over what is left, never narrower than given
    // (a stretched section keeps the width it had when the stretch began).
    QHeaderView* h = horizontalHeader();
    h->setStretchLastSection(false);
    for (size_t c = 0; c < widths.size(); ++c)
        h->resizeSection(int(c), widths[c]);
    h->setStretchLastSection(true);
    m_sizingColumns = false;
}

void EntryListView::setColumnsFollowWidth(bool follow)
{
    m_followWidth = follow;
    shareColumnWidths();
}

void EntryListView::shareColumnWidths()
{
    const int columns = model() ? model()->columnCount() : 0;
    if (!m_followWidth || columns == 0 || m_sizingColumns)
        return;
    const int room = viewport()->width();
    std::vector<int> widths(size_t(columns), 0);
    int total = 0;
    for (int c = 0; c < columns; ++c)
        total += widths[size_t(c)] = neededWidth(c);
    if (room >= total) {
        // Each column grows in proportion to what it needs.
        for (int& w : widths)
            w = int(int64_t(w) * room / total);
    } else if (columns > kColumnName) {
        // Too narrow for the longest names: the two name columns give way,
        // no narrower than their headers; a tooltip shows a text cut short.
        QHeaderView* h = horizontalHeader();
        const int spare0 = std::max(0, widths[kColumnDirectory] - h->sectionSizeHint(kColumnDirectory));
        const int spare1 = std::max(0, widths[kColumnName] - h->sectionSizeHint(kColumnName));
        const int take = std::min(total - room, spare0 + spare1);
        if (take > 0) {
            const int take0 = int(int64_t(take) * spare0 / (spare0 + spare1));
            widths[kColumnDirectory] -= take0;
            widths[kColumnName] -= take - take0;
        }
    }
    setSectionWidths(widths);
}

void EntryListView::fitColumnsToContents()
{
    if (!model())
        return;
    m_followWidth = false;
    const int columns = model()->columnCount();
    std::vector<int> widths(size_t(columns), 0);
    for (int c = 0; c < columns; ++c) {
        // The rows in sight decide; an empty list keeps room for the longest texts.
        const int header = horizontalHeader()->sectionSizeHint(c);
        widths[size_t(c)] = model()->rowCount() > 0 ? std::max(sizeHintForColumn(c), header) : neededWidth(c);
    }
    setSectionWidths(widths);
}

void EntryListView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    if (EntryListModel* m = listModel())
        connect(m, &QAbstractItemModel::headerDataChanged, this, &EntryListView::showSortState);
    showSortState();
}

void EntryListView::showSortState()
{
    const EntryListModel* m = listModel();
    const QString order = m ? m->sortDescription() : QString();
    // The list and its header both say it: a screen reader reads the list's
    // description on entering it, the header's when it is explored.
    setAccessibleDescription(order);
    horizontalHeader()->setAccessibleDescription(order);
    // The header's arrows are the model's pictures; its own indicator stays
    // hidden, but holds the same order for anything that asks the header.
    const int column = m ? m->shownSortColumn() : -1;
    horizontalHeader()->setSortIndicator(column,
                                         m && m->shownSortDirection() < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QModelIndex EntryListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action != MoveHome && action != MoveEnd)
        return QTableView::moveCursor(action, modifiers);
    // A table's Ctrl+Home / Ctrl+End, staying in the current column.
    const QModelIndex to = QTableView::moveCursor(action, modifiers | Qt::ControlModifier);
    return to.isValid() && currentIndex().isValid() ? to.siblingAtColumn(currentIndex().column()) : to;
}

QRect EntryListView::rowRect(int row) const
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return {};
    const int last = model()->columnCount() - 1;
    return visualRect(model()->index(row, 0)).united(visualRect(model()->index(row, last)));
}

void EntryListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    viewport()->update(rowRect(previous.row()));
    viewport()->update(rowRect(current.row()));
}

void EntryListView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!hasFocus() || !currentIndex().isValid())
        return;
    const QRect row = rowRect(currentIndex().row());
    if (!row.isValid() || !event->rect().intersects(row))
        return;
    QPainter painter(viewport());
    QStyleOptionFocusRect o;
    o.initFrom(this);
    o.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
    o.rect = row.adjusted(0, 0, -1, -1);
    o.backgroundColor = palette().color(selectionModel()->isRowSelected(currentIndex().row(), {}) ? QPalette::Highlight
                                                                                                  : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &painter, this);
}

void EntryListView::startDrag(Qt::DropActions supportedActions)
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty() || !model())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(rows));
    drag->setPixmap(drag::picture(rows.size() == 1 ? rows.first().siblingAtColumn(1).data().toString()
                                                   : QStringLiteral("%1个地区").arg(rows.size()),
                                  font()));
    drag->setHotSpot(drag::kPictureHotSpot);
    drag->exec(supportedActions, defaultDropAction());
}

bool EntryListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        const bool done = QTableView::viewportEvent(event);
        shareColumnWidths();
        return done;
    }
    // A cell too narrow for its text shows the whole text as a tooltip.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex i = indexAt(help->pos());
        const QString text = i.data().toString();
        const QRect cell = visualRect(i);
        const int room = cell.width() - 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) - 4 -
                         (i.data(Qt::DecorationRole).isValid() ? iconSize().width() + 4 : 0);
        if (i.isValid() && fontMetrics().horizontalAdvance(text) > room)
            QToolTip::showText(help->globalPos(), text, viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}

EntryListModel* EntryListView::listModel() const { return qobject_cast<EntryListModel*>(model()); }

std::vector<int> EntryListView::selectedRowsInOrder() const
{
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    // The ranges in order, then their rows once each: no sort of a million
    // rows when all are selected.
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    size_t count = 0;
    for (const auto& [top, bottom] : ranges)
        count += size_t(std::max(bottom - top + 1, 0));
    rows.reserve(count);
    for (const auto& [top, bottom] : ranges)
        for (int r = rows.empty() ? top : std::max(top, rows.back() + 1); r <= bottom; ++r)
            rows.push_back(r);
    return rows;
}

int EntryListView::topSelectedRow() const
{
    int top = -1;
    if (!selectionModel())
        return top;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (top < 0 || range.top() < top)
            top = range.top();
    return top;
}

std::vector<int> EntryListView::commandRows() const
{
    std::vector<int> rows = selectedRowsInOrder();
    if (rows.empty() && currentIndex().isValid())
        rows.push_back(currentIndex().row());
    return rows;
}

int EntryListView::commandRow() const
{
    const int top = topSelectedRow();
    return top >= 0 || !currentIndex().isValid() ? top : currentIndex().row();
}

void EntryListView::makeCurrentRow(int row)
{
    const int rows = model() ? model()->rowCount() : 0;
    if (rows == 0 || !selectionModel())
        return;
    row = std::clamp(row, 0, rows - 1);
    const QModelIndex i = model()->index(row, currentIndex().isValid() ? currentIndex().column() : 0);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(i);
}

void EntryListView::enterRows()
{
    if (!model() || model()->rowCount() == 0)
        return;
    makeCurrentRow(currentIndex().isValid() ? currentIndex().row() : 0);
    setFocus(Qt::OtherFocusReason);
}

namespace {

// The selected rows as the clipboard takes them.
QString tableOf(QWidget* window, const EntryRowSet& set, const std::vector<int>& rows)
{
    // A few rows are there at once; a large selection (up to a million
    // rows) is put together beside the event loop, with the progress window.
    constexpr size_t kRowsAtOnce = 50000;
    if (rows.size() < kRowsAtOnce)
        return rowsAsTable(set, rows);
    QString text;
    LongTask task;
    task.label = QStringLiteral("正在复制……");
    task.work = [&](std::atomic<int>& percent) {
        text = rowsAsTable(set, rows, [&percent](int p) { percent = p; });
    };
    runLongTask(window, task);
    return text;
}

}  // namespace

void EntryListView::keyPressEvent(QKeyEvent* event)
{
    // Home, End, Page Up and Page Down move the current row and select it,
    // with Ctrl as without; Shift extends the selection.
    switch (event->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (event->modifiers() & Qt::ControlModifier) {
            QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ControlModifier, event->text(),
                            event->isAutoRepeat(), ushort(event->count()));
            QTableView::keyPressEvent(&plain);
            event->setAccepted(plain.isAccepted());
            return;
        }
        break;
    default:
        break;
    }
    // Delete removes the selected places whatever modifier keys are held.
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed();
        return;
    }
    // Copy puts the selected rows on the clipboard as a table; the list is
    // the only place the key works, no menu item carries it.
    if (event->matches(QKeySequence::Copy)) {
        if (EntryListModel* m = listModel())
            if (const std::vector<int> rows = selectedRowsInOrder(); !rows.empty())
                QGuiApplication::clipboard()->setText(tableOf(window(), m->rowSet(), rows));
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace qv
