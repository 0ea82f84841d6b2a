#include "app/CommandTable.h"

#include "app/ShellCommands.h"
#include "entries/ui/EntryCommands.h"
#include "exchange/ui/ExchangeCommands.h"
#include "exchange/ui/PrintCommands.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/SearchCommands.h"
#include "lookup/ui/SortMenu.h"
#include "store/ui/DatabaseCommands.h"
#include "store/ui/UpdateCommands.h"
#include "tree/ui/TreeCommands.h"
#include "widgets/Icons.h"

#include <QActionGroup>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>

#include <functional>
#include <vector>

namespace qv {

namespace {

enum class Kind { Command, Separator, Radio, Check };

struct Item {
    QAction* MenuActions::*slot;  // nullptr for a separator
    const char* name;
    const char* caption;
    std::function<void()> handler;
    Kind kind = Kind::Command;
    int icon = -1;  // QStyle::StandardPixmap, -1 for none
    bool checked = false;
};

struct MenuDef {
    QMenu* Menus::*slot;
    const char* name;
    const char* caption;  // empty for a context menu
    std::vector<Item> items;
};

constexpr int kNoIcon = -1;
Item separator(const char* name) { return {nullptr, name, "-", {}, Kind::Separator}; }

}  // namespace

void buildCommands(const CommandTargets& t, MenuActions& actions, Menus& menus)
{
    using S = QStyle;
    TreeCommands* tree = t.tree;
    EntryCommands* entries = t.entries;
    SearchCommands* search = t.search;
    DatabaseCommands* db = t.database;
    ExchangeCommands* exchange = t.exchange;
    ShellCommands* shell = t.shell;
    PrintCommands* print = t.print;
    UpdateCommands* update = t.update;
    const EntryListModel* list = t.list;
    QMainWindow* window = t.window;
    auto call = [](auto* object, void (std::remove_pointer_t<decltype(object)>::*handler)()) {
        return std::function<void()>([object, handler] { (object->*handler)(); });
    };
    using M = MenuActions;
    using TC = TreeCommands;
    using EC = EntryCommands;
    using SC = SearchCommands;
    using DC = DatabaseCommands;
    using XC = ExchangeCommands;
    using AC = ShellCommands;
    // The printing commands take the window and the rows to print.
    auto mmprintsetClick = [print, window] { print->printerSetup(window); };
    auto mmfontsetClick = [print, window] { print->chooseFont(window); };
    auto mmprintcurrentClick = [print, window, list] { print->printList(window, list->rowSet()); };
    auto mmprintpreviewClick = [print, window, list] { print->printPreview(window, list->rowSet()); };

    // Every menu of the main window and both context menus, in the order shown.
    // clang-format off
    const std::vector<MenuDef> table = {
        {&Menus::MainMenuNode, "MainMenuNode", "目录",
         {
             {&M::mmeditnode, "mmeditnode", "修改目录", call(tree, &TC::mnuEditNodeClick)},
             {&M::mmnewnode, "mmnewnode", "新增目录", call(tree, &TC::mnuNewNodeClick), Kind::Command, S::SP_FileDialogNewFolder},
             {&M::mminsertnode, "mminsertnode", "插入目录", call(tree, &TC::mnuInsertNodeClick), Kind::Command, S::SP_ArrowRight},
             {&M::mmsubnode, "mmsubnode", "增子目录", call(tree, &TC::mnuSubNodeClick)},
             {&M::mmdelnode, "mmdelnode", "删除目录", call(tree, &TC::mnuDelNodeClick), Kind::Command, S::SP_TrashIcon},
             {&M::mmmovenode, "mmmovenode", "移动到…", call(tree, &TC::mnuMoveNodeClick)},
             separator("N6"),
             {&M::mmclose, "mmclose", "关闭", [window] { window->close(); }, Kind::Command, S::SP_DialogCloseButton},
         }},
        {&Menus::MainMenukvrn, "MainMenukvrn", "信息",
         {
             {&M::mmeditinf, "mmeditinf", "修改信息", call(entries, &EC::EditInfClick), Kind::Command, S::SP_FileDialogDetailedView},
             {&M::N1, "N1", "新增信息", call(entries, &EC::NewInfClick), Kind::Command, S::SP_FileIcon},
             {&M::mmdelinf, "mmdelinf", "删除信息", call(entries, &EC::DelInfClick), Kind::Command, S::SP_DialogDiscardButton},
             {&M::mmmoveinf, "mmmoveinf", "移动到…", call(entries, &EC::MoveInfClick)},
             separator("N2"),
             {&M::N3, "N3", "选择所有", call(entries, &EC::SelAllClick)},
         }},
        {&Menus::mmdata, "mmdata", "数据库",
         {
             {&M::mmsave, "mmsave", "保存", call(db, &DC::mmsaveClick), Kind::Command, S::SP_DialogSaveButton},
             separator("N4"),
             {&M::mmcompres, "mmcompres", "压缩数据库", call(db, &DC::mmcompresClick)},
             {&M::mmrecover, "mmrecover", "恢复数据库", call(db, &DC::mmrecoverClick)},
         }},
        {&Menus::MainMenuFind, "MainMenuFind", "搜索",
         {
             {&M::mmsearch, "mmsearch", "查找", call(search, &SC::Button_searchClick), Kind::Command, S::SP_FileDialogContentsView},
             separator("N7"),
             {&M::mmjq, "mmjq", "精确查询", call(search, &SC::mmjqClick), Kind::Radio, kNoIcon, false},
             {&M::mmmh, "mmmh", "模糊查询", call(search, &SC::mmmhClick), Kind::Radio, kNoIcon, true},
             separator("N15"),
             {&M::mmdqmc, "mmdqmc", "按地区名称", call(search, &SC::mmdqmcClick), Kind::Check, kNoIcon, true},
             {&M::mmdqpy, "mmdqpy", "按地区拼音", call(search, &SC::mmdqpyClick), Kind::Check, kNoIcon, true},
             {&M::mmyzbm, "mmyzbm", "按邮政编码", call(search, &SC::mmyzbmClick), Kind::Check, kNoIcon, true},
             {&M::mmdhqh, "mmdhqh", "按电话区号", call(search, &SC::mmdhqhClick), Kind::Check, kNoIcon, true},
             separator("N19"),
             {&M::mmsortcode, "mmsortcode", "按区号排序", call(search, &SC::mmsortClick), Kind::Radio, kNoIcon, true},
             {&M::mmsortrelevance, "mmsortrelevance", "按匹配程度排序", call(search, &SC::mmsortClick), Kind::Radio, kNoIcon, false},
         }},
        {&Menus::MainMenuTools, "MainMenuTools", "工具",
         {
             {&M::mmprintset, "mmprintset", "打印机设置", mmprintsetClick},
             {&M::mmfontset, "mmfontset", "打印字体设置", mmfontsetClick},
             {&M::mmprintcurrent, "mmprintcurrent", "打印", mmprintcurrentClick, Kind::Command, S::SP_DialogYesButton},
             {&M::mmprintpreview, "mmprintpreview", "打印预览", mmprintpreviewClick},
             separator("N9"),
             {&M::mmexport, "mmexport", "导出数据", call(exchange, &XC::mmexportClick), Kind::Command, S::SP_ArrowUp},
             {&M::mmimport, "mmimport", "导入数据", call(exchange, &XC::mmimportClick), Kind::Command, S::SP_ArrowDown},
             {&M::mmupdate, "mmupdate", "更新数据", call(update, &UpdateCommands::mmupdateClick)},
             {&M::mmpyszm, "mmpyszm", "拼音首字母", call(search, &SC::mmpyszmClick)},
             separator("N8"),
             {&M::mmlink, "mmlink", "桌面快捷", call(shell, &AC::mmlinkClick)},
         }},
        {&Menus::MainMenuHelp, "MainMenuHelp", "帮助",
         {
             {&M::N12, "N12", "关于", call(shell, &AC::N12Click), Kind::Command, S::SP_MessageBoxInformation},
             separator("N13"),
             {&M::mmhomepage, "mmhomepage", "我的主页", call(shell, &AC::mmhomepageClick), Kind::Command, S::SP_DirHomeIcon},
             {&M::mmemail, "mmemail", "给我写信", call(shell, &AC::mmemailClick), Kind::Command, S::SP_DialogApplyButton},
             separator("N17"),
             {&M::N14, "N14", "帮助", call(shell, &AC::N14Click), Kind::Command, S::SP_DialogHelpButton},
         }},
        {&Menus::PopupMenu1, "PopupMenu1", "",
         {
             {&M::mnuEditNode, "mnuEditNode", "修改目录", call(tree, &TC::mnuEditNodeClick)},
             separator("N16"),
             {&M::mnuNewNode, "mnuNewNode", "新增目录", call(tree, &TC::mnuNewNodeClick)},
             {&M::mnuInsertNode, "mnuInsertNode", "插入目录", call(tree, &TC::mnuInsertNodeClick)},
             {&M::mnuSubNode, "mnuSubNode", "增子目录", call(tree, &TC::mnuSubNodeClick)},
             separator("N18"),
             {&M::mnuDelNode, "mnuDelNode", "删除目录", call(tree, &TC::mnuDelNodeClick)},
             {&M::mnuMoveNode, "mnuMoveNode", "移动到…", call(tree, &TC::mnuMoveNodeClick)},
             separator("N5"),
             {&M::mnuAddInf, "mnuAddInf", "新增信息", call(entries, &EC::NewInfClick)},
         }},
        {&Menus::PopupMenu2, "PopupMenu2", "",
         {
             {&M::EditInf, "EditInf", "修改信息", call(entries, &EC::EditInfClick)},
             {&M::NewInf, "NewInf", "新增信息", call(entries, &EC::NewInfClick)},
             {&M::DelInf, "DelInf", "删除信息", call(entries, &EC::DelInfClick)},
             {&M::MoveInf, "MoveInf", "移动到…", call(entries, &EC::MoveInfClick)},
             separator("N10"),
             {&M::SelAll, "SelAll", "选择所有", call(entries, &EC::SelAllClick)},
         }},
    };
    // clang-format on

    for (const MenuDef& def : table) {
        const bool popup = def.caption[0] == '\0';
        QMenu* menu = popup ? new QMenu(window) : window->menuBar()->addMenu(QString::fromUtf8(def.caption));
        menu->setObjectName(QString::fromLatin1(def.name));
        menus.*def.slot = menu;
        QActionGroup* radios = nullptr;
        for (const Item& c : def.items) {
            QAction* a =
                c.kind == Kind::Separator ? menu->addSeparator() : menu->addAction(QString::fromUtf8(c.caption));
            a->setObjectName(QString::fromLatin1(c.name));
            if (c.kind == Kind::Separator) {
                radios = nullptr;  // the next radio items are a pair of their own
                continue;
            }
            actions.*c.slot = a;
            if (c.icon != kNoIcon && !popup)
                a->setIcon(styleIcon(QStyle::StandardPixmap(c.icon)));
            if (c.kind == Kind::Radio || c.kind == Kind::Check) {
                a->setCheckable(true);
                a->setChecked(c.checked);
            }
            if (c.kind == Kind::Radio) {
                if (!radios) {
                    // A radio pair: choosing the checked item again keeps it.
                    radios = new QActionGroup(menu);
                    radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
                }
                radios->addAction(a);
            }
            QObject::connect(a, &QAction::triggered, window, c.handler);
        }
    }
    // 排序 closes the list's two menus: one submenu, so both show the same ticks.
    SortMenu* sort = search->sortMenu();
    menus.mmsortlist = sort;
    for (QMenu* menu : {menus.MainMenukvrn, menus.PopupMenu2}) {
        menu->addSeparator()->setObjectName(QStringLiteral("N20"));
        menu->addMenu(sort);
    }
    sort->menuAction()->setObjectName(QStringLiteral("mmsortlist"));
    QAction* MenuActions::*const sortItems[] = {&M::mmsortowner, &M::mmsortname, &M::mmsortarea, &M::mmsortpost};
    for (int c = 0; c < 4; ++c)
        actions.*sortItems[c] = sort->byColumn(c);
    actions.mmsortasc = sort->ascending();
    actions.mmsortdesc = sort->descending();
    // Pictures the style has none of: a letter for 给我写信 (the style's
    // tick read as a ticked item), a printer for 打印.
    actions.mmemail->setIcon(mailIcon());
    actions.mmprintcurrent->setIcon(printerIcon());
    search->bindMenu({actions.mmjq, actions.mmmh, actions.mmdqmc, actions.mmdqpy, actions.mmyzbm, actions.mmdhqh,
                      actions.mmsortcode, actions.mmsortrelevance});
}

void bindKeys(MenuActions& a, QWidget* tree, QWidget* list)
{
    // Keys that mean something else elsewhere in the window (Delete, Enter,
    // F2, Ctrl+A) work only in the part of the window their command is for.
    // The context menus show the same keys beside their items.
    enum class Place { Window, List, Tree };
    // The platform's keys for a command; some platforms have none for it.
    auto standard = [](QKeySequence::StandardKey key, QKeyCombination fallback) {
        const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
        return keys.isEmpty() ? QList<QKeySequence>{QKeySequence(fallback)} : keys;
    };
    struct Binding {
        std::vector<QAction*> items;  // the first is the main menu's
        QList<QKeySequence> keys;
        Place place;
    };
    const std::vector<Binding> table = {
        {{a.mmsave}, QKeySequence::keyBindings(QKeySequence::Save), Place::Window},
        {{a.mmprintcurrent}, QKeySequence::keyBindings(QKeySequence::Print), Place::Window},
        {{a.N14}, standard(QKeySequence::HelpContents, Qt::Key_F1), Place::Window},
        {{a.mmclose}, standard(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q), Place::Window},
        {{a.N1, a.NewInf, a.mnuAddInf}, QKeySequence::keyBindings(QKeySequence::New), Place::Window},
        {{a.mmeditinf, a.EditInf},
         {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_F2)},
         Place::List},
        {{a.mmdelinf, a.DelInf}, {QKeySequence(QKeySequence::Delete)}, Place::List},
        {{a.N3, a.SelAll}, QKeySequence::keyBindings(QKeySequence::SelectAll), Place::List},
        {{a.mmeditnode, a.mnuEditNode}, {QKeySequence(Qt::Key_F2)}, Place::Tree},
        // 移动到… for the places in the list, or for the directory in the tree.
        {{a.mmmoveinf, a.MoveInf}, {QKeySequence(Qt::CTRL | Qt::Key_M)}, Place::List},
        {{a.mmmovenode, a.mnuMoveNode}, {QKeySequence(Qt::CTRL | Qt::Key_M)}, Place::Tree},
        // 排序 by the columns in their order, also straight after a search.
        {{a.mmsortowner}, {QKeySequence(Qt::CTRL | Qt::Key_1)}, Place::Window},
        {{a.mmsortname}, {QKeySequence(Qt::CTRL | Qt::Key_2)}, Place::Window},
        {{a.mmsortarea}, {QKeySequence(Qt::CTRL | Qt::Key_3)}, Place::Window},
        {{a.mmsortpost}, {QKeySequence(Qt::CTRL | Qt::Key_4)}, Place::Window},
    };
    for (const Binding& b : table) {
        for (size_t i = 0; i < b.items.size(); ++i) {
            QAction* item = b.items[i];
            item->setShortcuts(b.keys);
            if (i > 0) {
                // A context menu's copy only shows the keys.
                item->setShortcutContext(Qt::WidgetShortcut);
                continue;
            }
            if (b.place == Place::Window) {
                item->setShortcutContext(Qt::WindowShortcut);
                continue;
            }
            item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            (b.place == Place::List ? list : tree)->addAction(item);
        }
    }
}

}  // namespace qv
