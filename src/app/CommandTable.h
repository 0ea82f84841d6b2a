#pragma once
// Every menu and context-menu item of the main window, by the name the
// program's documents give it, and the table that builds and binds them.
class QAction;
class QMainWindow;
class QMenu;
class QWidget;

namespace qv {

class DatabaseCommands;
class EntryCommands;
class EntryListModel;
class ExchangeCommands;
class PrintCommands;
class SearchCommands;
class ShellCommands;
class TreeCommands;
class UpdateCommands;

struct MenuActions {
    // 目录
    QAction *mmeditnode = nullptr, *mmnewnode = nullptr, *mminsertnode = nullptr, *mmsubnode = nullptr,
            *mmdelnode = nullptr, *mmmovenode = nullptr, *mmclose = nullptr;
    // 信息
    QAction *mmeditinf = nullptr, *N1 = nullptr, *mmdelinf = nullptr, *mmmoveinf = nullptr, *N3 = nullptr;
    // 信息 › 排序 (also in the list's context menu)
    QAction *mmsortowner = nullptr, *mmsortname = nullptr, *mmsortarea = nullptr, *mmsortpost = nullptr,
            *mmsortasc = nullptr, *mmsortdesc = nullptr;
    // 数据库
    QAction *mmsave = nullptr, *mmcompres = nullptr, *mmrecover = nullptr;
    // 搜索
    QAction *mmsearch = nullptr, *mmjq = nullptr, *mmmh = nullptr, *mmdqmc = nullptr, *mmdqpy = nullptr,
            *mmyzbm = nullptr, *mmdhqh = nullptr, *mmsortcode = nullptr, *mmsortrelevance = nullptr;
    // 工具
    QAction *mmprintset = nullptr, *mmfontset = nullptr, *mmprintcurrent = nullptr, *mmexport = nullptr,
            *mmimport = nullptr, *mmupdate = nullptr, *mmlink = nullptr, *mmpyszm = nullptr;
    QAction* mmprintpreview = nullptr;
    // 帮助
    QAction *N12 = nullptr, *mmhomepage = nullptr, *mmemail = nullptr, *N14 = nullptr;
    // The tree's context menu
    QAction *mnuEditNode = nullptr, *mnuNewNode = nullptr, *mnuInsertNode = nullptr, *mnuSubNode = nullptr,
            *mnuDelNode = nullptr, *mnuMoveNode = nullptr, *mnuAddInf = nullptr;
    // The list's context menu
    QAction *EditInf = nullptr, *NewInf = nullptr, *DelInf = nullptr, *MoveInf = nullptr, *SelAll = nullptr;
};

struct Menus {
    QMenu *MainMenuNode = nullptr, *MainMenukvrn = nullptr, *mmdata = nullptr, *MainMenuFind = nullptr,
          *MainMenuTools = nullptr, *MainMenuHelp = nullptr;
    QMenu *PopupMenu1 = nullptr, *PopupMenu2 = nullptr;  // tree, list
    QMenu* mmsortlist = nullptr;                         // 排序, in 信息 and in the list's menu
};

// Whose handlers the items call.
struct CommandTargets {
    QMainWindow* window;
    TreeCommands* tree;
    EntryCommands* entries;
    SearchCommands* search;
    DatabaseCommands* database;
    ExchangeCommands* exchange;
    PrintCommands* print;
    ShellCommands* shell;
    UpdateCommands* update;
    const EntryListModel* list;  // what 打印 prints
};

// Builds the menu bar and the context menus and binds every item.
void buildCommands(const CommandTargets& targets, MenuActions& actions, Menus& menus);
// Gives the items their keys; those of the list's and the tree's commands
// work only while that control has the focus.
void bindKeys(MenuActions& actions, QWidget* tree, QWidget* list);

}  // namespace qv
