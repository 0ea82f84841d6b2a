#pragma once
// Listing a directory, searching, sorting by a column, and keeping the search
// options of the bar and the 搜索 menu in step.
#include "lookup/Search.h"

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace qv {

class Database;
class DirectoryHits;
class EntryListModel;
class SearchBar;
class SortMenu;
struct DirectoryNode;

// The 搜索 menu's mode and field items.
struct SearchMenuItems {
    QAction* mmjq = nullptr;
    QAction* mmmh = nullptr;
    QAction* mmdqmc = nullptr;
    QAction* mmdqpy = nullptr;
    QAction* mmyzbm = nullptr;
    QAction* mmdhqh = nullptr;
    QAction* mmsortcode = nullptr;       // 按区号排序
    QAction* mmsortrelevance = nullptr;  // 按匹配程度排序
};

class SearchCommands : public QObject {
    Q_OBJECT
public:
    SearchCommands(Database& db, EntryListModel* list, SearchBar* bar, QWidget* window);
    // Takes the menu's items; the order of results is the one chosen last
    // time (remembered in the settings).
    void bindMenu(const SearchMenuItems& items);
    // Where a search shows the directories it found (none: not shown).
    void setDirectoryHits(DirectoryHits* hits) { m_hits = hits; }
    // Whether results come best match first (按匹配程度排序).
    bool byRelevance() const;

    // Lists a directory's places (nothing when no directory is chosen).
    void TreeView1Change(DirectoryNode* node);
    void ListView1ColumnClick(int column);
    // 排序, the list's order by column and direction (made when first asked for).
    SortMenu* sortMenu();
    void Button_searchClick();
    // Enter in the query box: searches, or, when the list still shows what
    // this query found, goes on into the results.
    void Edit1Enter();

    void jqClick();
    void mhClick();
    void mmjqClick();
    void mmmhClick();
    void ckdqmcClick();
    void ckdqpyClick();
    void ckyzbmClick();
    void ckdhqhClick();
    void mmdqmcClick();
    void mmdqpyClick();
    void mmyzbmClick();
    void mmdhqhClick();
    // 按区号排序 / 按匹配程度排序: remembered for the next start.
    void mmsortClick();
    // 工具 › 拼音首字母: the learned initials, to correct or remove.
    void mmpyszmClick();

signals:
    // The user wants to move into the results the list shows.
    void resultsWanted();

private:
    Database& m_db;
    EntryListModel* m_list;
    SearchBar* m_bar;
    QWidget* m_window;
    SearchMenuItems m_menu;
    DirectoryHits* m_hits = nullptr;
    // The query and options whose results the list shows, while it does.
    bool m_showsResults = false;
    QString m_shownQuery;
    QueryOptions m_shownOptions;
    SortMenu* m_sortMenu = nullptr;
};

}  // namespace qv
