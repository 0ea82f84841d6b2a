#pragma once
// The place commands: add, edit, delete, select all, and rows dragged onto a
// directory.
#include "entries/EntryEditing.h"
#include "lookup/Pinyin.h"

#include <QObject>

class QWidget;

namespace qv {

class DirectoryTreeView;
class EntryListModel;
class EntryListView;
class TFrmAddInf;

class EntryCommands : public QObject {
    Q_OBJECT
public:
    EntryCommands(Database& db, DirectoryTreeView* tree, EntryListView* list, EntryListModel* rows,
                  AskInitialFn askInitial, QWidget* window);

    void NewInfClick();
    void EditInfClick();
    void DelInfClick();
    void SelAllClick();
    void ListView1EndDrag(DirectoryNode* target);
    // 移动到…: the selected places go to the directory the user picks, as
    // if their rows were dropped on it.
    void MoveInfClick();
    // 确定 in the add dialog: a new place in `node`, listed at once.
    void AppendInf(DirectoryNode* node, const EntryText& text);
    // 确定 in the edit dialog for the list's row `row`.
    void RewriteInf(int row, const EntryText& text);

    // The add dialog, kept for the whole run.
    TFrmAddInf* addDialog();

private:
    void learn(const std::string& name);

    Database& m_db;
    DirectoryTreeView* m_tree;
    EntryListView* m_list;
    EntryListModel* m_rows;
    AskInitialFn m_askInitial;
    QWidget* m_window;
    TFrmAddInf* m_addDialog = nullptr;
};

}  // namespace qv
