#include "entries/ui/EntryCommands.h"

#include "entries/ui/EntryDialog.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "store/GbkText.h"
#include "tree/ui/DirectoryTreeView.h"
#include "tree/ui/MoveTargetDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

namespace qv {

EntryCommands::EntryCommands(Database& db, DirectoryTreeView* tree, EntryListView* list, EntryListModel* rows,
                             AskInitialFn askInitial, QWidget* window)
    : QObject(window), m_db(db), m_tree(tree), m_list(list), m_rows(rows), m_askInitial(std::move(askInitial)),
      m_window(window)
{
    connect(list, &QAbstractItemView::doubleClicked, this, [this] { EditInfClick(); });
    connect(list, &EntryListView::deletePressed, this, &EntryCommands::DelInfClick);
    connect(tree, &DirectoryTreeView::entriesDropped, this, &EntryCommands::ListView1EndDrag);
}

TFrmAddInf* EntryCommands::addDialog()
{
    if (!m_addDialog) {
        m_addDialog = new TFrmAddInf(m_window);
        m_addDialog->setOnConfirm([this](const EntryText& t) { AppendInf(m_tree->currentNode(), t); });
    }
    return m_addDialog;
}

void EntryCommands::learn(const std::string& name) { LearnInitials(m_db.learned, name, m_askInitial); }

void EntryCommands::NewInfClick()
{
    if (!m_tree->currentNode())
        return;
    execModal(*addDialog());
}

void EntryCommands::AppendInf(DirectoryNode* node, const EntryText& text)
{
    if (!node)
        return;
    learn(text.name);
    const int32_t pos = appendEntry(m_db, node->id, text);
    if (pos < 0) {
        showError(m_window, QStringLiteral("数据库已达到最大容量，不能再增加信息。"));
        return;
    }
    // Rows hold each text cut to its field, as the record does.
    m_rows->addRow(node->caption, text.name, text.areaCode, text.postcode, pos);
}

void EntryCommands::EditInfClick()
{
    const int row = m_list->commandRow();
    if (row < 0)
        return;
    auto* dialog = new TFrmEditInf(m_window);  // deletes itself when closed
    const EntryRow& r = m_rows->row(row);
    dialog->setTexts({std::string(r.nameText()), std::string(r.areaText()), std::string(r.postText())});
    dialog->setOnConfirm([this](const EntryText& t) { RewriteInf(m_list->commandRow(), t); });
    execModal(*dialog);
}

void EntryCommands::RewriteInf(int row, const EntryText& text)
{
    if (row < 0 || row >= m_rows->count())
        return;
    m_rows->setRowTexts(row, text.name, text.areaCode, text.postcode);
    learn(text.name);
    rewriteEntry(m_db, m_rows->row(row).position, text);
}

void EntryCommands::DelInfClick()
{
    const std::vector<int> rows = m_list->commandRows();
    if (rows.empty())
        return;
    // Rows scrolled out of sight may be selected too: say how many go.
    if (!confirm(m_window, QStringLiteral("你真的要删除所选择的信息吗？\n共%1条信息将被删除。").arg(rows.size())))
        return;
    std::vector<int32_t> positions;
    positions.reserve(rows.size());
    for (int r : rows)
        positions.push_back(m_rows->row(r).position);
    deleteEntries(m_db, positions);
    // The row that moved up into the first one's place is the next to act on.
    m_list->makeCurrentRow(rows.front());
}

void EntryCommands::ListView1EndDrag(DirectoryNode* target)
{
    // Rows dropped where no directory lies have nowhere to go: that drop is
    // no edit at all. Dropped on their own directory they stay, yet the drop
    // counts as an edit.
    if (!target)
        return;
    std::vector<int32_t> positions;
    if (target != m_tree->currentNode()) {
        const std::vector<int> rows = m_list->selectedRowsInOrder();
        positions.reserve(rows.size());
        for (int r : rows)
            positions.push_back(m_rows->row(r).position);
    }
    moveEntries(m_db, positions, target->id);
}

void EntryCommands::MoveInfClick()
{
    const std::vector<int> rows = m_list->selectedRowsInOrder();
    if (rows.empty() || m_db.tree.isEmpty())
        return;
    const QString what = rows.size() == 1
                             ? QStringLiteral("把“%1”移到：").arg(gbk::toQString(m_rows->row(rows.front()).nameText()))
                             : QStringLiteral("把选中的%1条信息移到：").arg(rows.size());
    // The choice starts at the directory in the tree, which the rows came from.
    MoveTargetDialog dialog(m_db.tree, nullptr, m_tree->currentNode(), what, m_window);
    if (execModal(dialog) != QDialog::Accepted)
        return;
    ListView1EndDrag(dialog.target());
}

void EntryCommands::SelAllClick()
{
    m_list->setFocus();
    m_list->selectAll();
}

}  // namespace qv
