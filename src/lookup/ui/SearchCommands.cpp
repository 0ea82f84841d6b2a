#include "lookup/ui/SearchCommands.h"

#include "lookup/Search.h"
#include "lookup/ui/DirectoryHits.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/SearchBar.h"
#include "lookup/ui/SortMenu.h"
#include "lookup/ui/Tfrmpyszm.h"
#include "store/Database.h"
#include "store/GbkText.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QWidget>

namespace qv {

namespace {
const QString kOrderKey = QStringLiteral("search/order");
const QString kRelevance = QStringLiteral("relevance");
}  // namespace

SearchCommands::SearchCommands(Database& db, EntryListModel* list, SearchBar* bar, QWidget* window)
    : QObject(window), m_db(db), m_list(list), m_bar(bar), m_window(window)
{
    connect(bar->jq, &QRadioButton::clicked, this, &SearchCommands::jqClick);
    connect(bar->mh, &QRadioButton::clicked, this, &SearchCommands::mhClick);
    connect(bar->ckdqmc, &QCheckBox::clicked, this, &SearchCommands::ckdqmcClick);
    connect(bar->ckdqpy, &QCheckBox::clicked, this, &SearchCommands::ckdqpyClick);
    connect(bar->ckyzbm, &QCheckBox::clicked, this, &SearchCommands::ckyzbmClick);
    connect(bar->ckdhqh, &QCheckBox::clicked, this, &SearchCommands::ckdhqhClick);
    connect(bar->Button_search, &QToolButton::clicked, this, &SearchCommands::Button_searchClick);
    connect(bar, &SearchBar::searchRequested, this, &SearchCommands::Edit1Enter);
}

void SearchCommands::bindMenu(const SearchMenuItems& items)
{
    m_menu = items;
    if (m_menu.mmsortcode && m_menu.mmsortrelevance) {
        const bool relevance = QSettings().value(kOrderKey).toString() == kRelevance;
        m_menu.mmsortrelevance->setChecked(relevance);
        m_menu.mmsortcode->setChecked(!relevance);
    }
}

bool SearchCommands::byRelevance() const { return m_menu.mmsortrelevance && m_menu.mmsortrelevance->isChecked(); }

void SearchCommands::mmsortClick()
{
    QSettings().setValue(kOrderKey, byRelevance() ? kRelevance : QStringLiteral("areacode"));
}

void SearchCommands::TreeView1Change(DirectoryNode* node)
{
    m_showsResults = false;
    if (m_hits)
        m_hits->showDirectories({});
    if (!node) {
        m_list->clear();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_list->setRows(listDirectory(m_db.image, node->id, node->caption), kColumnAreaCode, +1);
    QApplication::restoreOverrideCursor();
}

void SearchCommands::ListView1ColumnClick(int column) { m_list->columnClicked(column); }

SortMenu* SearchCommands::sortMenu()
{
    if (!m_sortMenu)
        m_sortMenu = new SortMenu(m_list, m_window);
    return m_sortMenu;
}

void SearchCommands::Button_searchClick()
{
    const QString text = m_bar->Edit1->text();
    const std::optional<std::string> query = gbk::fromQString(text);
    if (!query) {
        showMessage(m_window, QStringLiteral("“%1”不是GBK字符，数据库中不会有它。").arg(gbk::firstUnencodable(text)));
        return;
    }
    if (isBlankQuery(*query)) {
        showMessage(m_window, QStringLiteral("请输入关键字！"));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The old result goes first, so that two large results never live at once.
    m_list->clear();
    const QueryOptions options = m_bar->queryOptions();
    if (byRelevance()) {
        EntryRowSet rows = searchEntries(m_db, *query, options);
        rankEntryRows(m_db, rows, *query, options);
        m_list->setRankedRows(std::move(rows));
    } else {
        m_list->setRows(searchEntries(m_db, *query, options), kColumnAreaCode, -1);
    }
    if (m_hits)
        m_hits->showDirectories(searchDirectories(m_db, *query, options));
    QApplication::restoreOverrideCursor();
    m_showsResults = true;
    m_shownQuery = text;
    m_shownOptions = options;
}

void SearchCommands::Edit1Enter()
{
    // A second Enter on the same query reads the results rather than search again.
    if (m_showsResults && m_bar->queryOptions() == m_shownOptions && m_bar->Edit1->text() == m_shownQuery &&
        m_list->count() > 0)
        emit resultsWanted();
    else
        Button_searchClick();
}

// A click on the bar has already changed the button when its handler runs,
// as the menu item has changed its check.
void SearchCommands::jqClick() { m_menu.mmjq->setChecked(m_bar->jq->isChecked()); }
void SearchCommands::mhClick() { m_menu.mmmh->setChecked(m_bar->mh->isChecked()); }
void SearchCommands::mmjqClick() { SearchBar::setRadio(m_bar->jq, m_menu.mmjq->isChecked()); }
void SearchCommands::mmmhClick() { SearchBar::setRadio(m_bar->mh, m_menu.mmmh->isChecked()); }
void SearchCommands::ckdqmcClick() { m_menu.mmdqmc->setChecked(m_bar->ckdqmc->isChecked()); }
void SearchCommands::ckdqpyClick() { m_menu.mmdqpy->setChecked(m_bar->ckdqpy->isChecked()); }
void SearchCommands::ckyzbmClick() { m_menu.mmyzbm->setChecked(m_bar->ckyzbm->isChecked()); }
void SearchCommands::ckdhqhClick() { m_menu.mmdhqh->setChecked(m_bar->ckdhqh->isChecked()); }
void SearchCommands::mmdqmcClick() { m_bar->ckdqmc->setChecked(m_menu.mmdqmc->isChecked()); }
void SearchCommands::mmdqpyClick() { m_bar->ckdqpy->setChecked(m_menu.mmdqpy->isChecked()); }
void SearchCommands::mmyzbmClick() { m_bar->ckyzbm->setChecked(m_menu.mmyzbm->isChecked()); }
void SearchCommands::mmdhqhClick() { m_bar->ckdhqh->setChecked(m_menu.mmdhqh->isChecked()); }

void SearchCommands::mmpyszmClick()
{
    Tfrmpyszm dialog(m_db, m_window);
    dialog.edit();
}

}  // namespace qv
