#include "app/MainWindow.h"

#include "app/Icons.h"
#include "app/Messages.h"
#include "entries/ui/EntryDialog.h"
#include "lookup/Pinyin.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "lookup/ui/InputPinyinDialog.h"
#include "store/GbkText.h"
#include "store/Maintenance.h"
#include "tree/DirectoryCommands.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <thread>

namespace qv {

namespace {

using Handler = void (Tmainform::*)();

enum class Kind { Command, Separator, Radio, Check };

struct Command {
    const char* name;
    const char* caption;
    Handler handler;  // nullptr: the command is not available yet
    Kind kind = Kind::Command;
    int icon = -1;    // QStyle::StandardPixmap, -1 for none
    bool checked = false;
};

struct Menu {
    const char* name;
    const char* caption;  // empty for a context menu
    std::vector<Command> items;
};

constexpr int kNoIcon = -1;
Command separator(const char* name) { return {name, "-", nullptr, Kind::Separator, kNoIcon, false}; }

// Every menu of the main window and both context menus, in the order shown.
const std::vector<Menu>& commandTable()
{
    static const std::vector<Menu> table = {
        {"MainMenuNode", "目录",
         {
             {"mmeditnode", "修改目录", &Tmainform::mnuEditNodeClick},
             {"mmnewnode", "新增目录", &Tmainform::mnuNewNodeClick, Kind::Command, QStyle::SP_FileDialogNewFolder},
             {"mminsertnode", "插入目录", &Tmainform::mnuInsertNodeClick, Kind::Command, QStyle::SP_ArrowRight},
             {"mmsubnode", "增子目录", &Tmainform::mnuSubNodeClick},
             {"mmdelnode", "删除目录", &Tmainform::mnuDelNodeClick, Kind::Command, QStyle::SP_TrashIcon},
             separator("N6"),
             {"mmclose", "关闭", &Tmainform::mmcloseClick, Kind::Command, QStyle::SP_DialogCloseButton},
         }},
        {"MainMenukvrn", "信息",
         {
             {"mmeditinf", "修改信息", &Tmainform::EditInfClick, Kind::Command, QStyle::SP_FileDialogDetailedView},
             {"N1", "新增信息", &Tmainform::NewInfClick, Kind::Command, QStyle::SP_FileIcon},
             {"mmdelinf", "删除信息", &Tmainform::DelInfClick, Kind::Command, QStyle::SP_DialogDiscardButton},
             separator("N2"),
             {"N3", "选择所有", &Tmainform::SelAllClick},
         }},
        {"mmdata", "数据库",
         {
             {"mmsave", "保存", &Tmainform::mmsaveClick, Kind::Command, QStyle::SP_DialogSaveButton},
             separator("N4"),
             {"mmcompres", "压缩数据库", &Tmainform::mmcompresClick},
             {"mmrecover", "恢复数据库", &Tmainform::mmrecoverClick},
         }},
        {"MainMenuFind", "搜索",
         {
             {"mmsearch", "查找", &Tmainform::Button_searchClick, Kind::Command, QStyle::SP_FileDialogContentsView},
             separator("N7"),
             {"mmjq", "精确查询", &Tmainform::mmjqClick, Kind::Radio, kNoIcon, false},
             {"mmmh", "模糊查询", &Tmainform::mmmhClick, Kind::Radio, kNoIcon, true},
             separator("N15"),
             {"mmdqmc", "按地区名称", &Tmainform::mmdqmcClick, Kind::Check, kNoIcon, true},
             {"mmdqpy", "按地区拼音", &Tmainform::mmdqpyClick, Kind::Check, kNoIcon, true},
             {"mmyzbm", "按邮政编码", &Tmainform::mmyzbmClick, Kind::Check, kNoIcon, true},
             {"mmdhqh", "按电话区号", &Tmainform::mmdhqhClick, Kind::Check, kNoIcon, true},
         }},
        {"MainMenuTools", "工具",
         {
             {"mmprintset", "打印机设置", nullptr},
             {"mmfontset", "打印字体设置", nullptr},
             {"mmprintcurrent", "打印", nullptr, Kind::Command, QStyle::SP_DialogYesButton},
             separator("N9"),
             {"mmexport", "导出数据", nullptr, Kind::Command, QStyle::SP_ArrowUp},
             {"mmimport", "导入数据", nullptr, Kind::Command, QStyle::SP_ArrowDown},
             separator("N8"),
             {"mmlink", "桌面快捷", nullptr},
         }},
        {"MainMenuHelp", "帮助",
         {
             {"N12", "关于", nullptr, Kind::Command, QStyle::SP_MessageBoxInformation},
             separator("N13"),
             {"mmhomepage", "我的主页", nullptr, Kind::Command, QStyle::SP_DirHomeIcon},
             {"mmemail", "给我写信", nullptr, Kind::Command, QStyle::SP_DialogApplyButton},
             separator("N17"),
             {"N14", "帮助", nullptr, Kind::Command, QStyle::SP_DialogHelpButton},
         }},
        {"PopupMenu1", "",
         {
             {"mnuEditNode", "修改目录", &Tmainform::mnuEditNodeClick},
             separator("N16"),
             {"mnuNewNode", "新增目录", &Tmainform::mnuNewNodeClick},
             {"mnuInsertNode", "插入目录", &Tmainform::mnuInsertNodeClick},
             {"mnuSubNode", "增子目录", &Tmainform::mnuSubNodeClick},
             separator("N18"),
             {"mnuDelNode", "删除目录", &Tmainform::mnuDelNodeClick},
             separator("N5"),
             {"mnuAddInf", "新增信息", &Tmainform::NewInfClick},
         }},
        {"PopupMenu2", "",
         {
             {"EditInf", "修改信息", &Tmainform::EditInfClick},
             {"NewInf", "新增信息", &Tmainform::NewInfClick},
             {"DelInf", "删除信息", &Tmainform::DelInfClick},
             separator("N10"),
             {"SelAll", "选择所有", &Tmainform::SelAllClick},
         }},
    };
    return table;
}

QFont songTi(int pixelSize)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace

Tmainform::Tmainform(const QString& databasePath, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    m_db.setPath(databasePath);
    setWindowTitle(QStringLiteral("Tolmerix V2.0.0"));
    setWindowIcon(applicationIcon());
    setFont(songTi(12));

    m_treeModel = new DirectoryTreeModel(m_db.tree, this);
    m_listModel = new EntryListModel(this);
    buildSearchBar();
    buildCentre();
    buildMenus();

    // 544 x 375 unless the search bar needs more room with the fonts at hand.
    resize(std::max(544, findChild<QToolBar*>(QStringLiteral("ToolBar2"))->sizeHint().width()), 375);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect avail = screen->availableGeometry();
        move(avail.center() - rect().center());
    }
}

Tmainform::~Tmainform()
{
    // The tree model watches the database's tree: let it go first.
    delete m_treeModel;
    m_treeModel = nullptr;
}

void Tmainform::buildSearchBar()
{
    auto* bar = new QToolBar(QStringLiteral("查询"), this);
    bar->setObjectName(QStringLiteral("ToolBar2"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(33);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    // The whole bar has to fit the 544-pixel window.
    bar->layout()->setSpacing(0);
    bar->layout()->setContentsMargins(2, 0, 2, 0);
    addToolBar(Qt::TopToolBarArea, bar);

    auto radio = [&](const char* name, const char* text, bool checked) {
        auto* b = new QRadioButton(QString::fromUtf8(text), bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setChecked(checked);
        bar->addWidget(b);
        return b;
    };
    auto check = [&](const char* name, const char* text) {
        auto* b = new QCheckBox(QString::fromUtf8(text), bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setChecked(true);
        bar->addWidget(b);
        return b;
    };
    jq = radio("jq", "精确查询", false);
    mh = radio("mh", "模糊查询", true);
    m_modeButtons = new QButtonGroup(this);
    m_modeButtons->addButton(jq);
    m_modeButtons->addButton(mh);
    ckdqmc = check("ckdqmc", "地区名称");
    ckdqpy = check("ckdqpy", "地区拼音");
    ckyzbm = check("ckyzbm", "邮政编码");
    ckdhqh = check("ckdhqh", "电话区号");

    Edit1 = new QLineEdit(bar);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("查询关键字"));
    Edit1->setPlaceholderText(QStringLiteral("地名、拼音、邮编或区号"));
    Edit1->setMinimumWidth(56);
    Edit1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Edit1->installEventFilter(this);
    bar->addWidget(Edit1);

    Button_search = new QToolButton(bar);
    Button_search->setObjectName(QStringLiteral("Button_search"));
    Button_search->setText(QStringLiteral("查找"));
    Button_search->setIcon(searchIcon());
    Button_search->setIconSize(QSize(16, 16));
    Button_search->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Button_search->setAutoRaise(true);
    Button_search->setMinimumWidth(48);
    bar->addWidget(Button_search);

    connect(jq, &QRadioButton::clicked, this, &Tmainform::jqClick);
    connect(mh, &QRadioButton::clicked, this, &Tmainform::mhClick);
    connect(ckdqmc, &QCheckBox::clicked, this, &Tmainform::ckdqmcClick);
    connect(ckdqpy, &QCheckBox::clicked, this, &Tmainform::ckdqpyClick);
    connect(ckyzbm, &QCheckBox::clicked, this, &Tmainform::ckyzbmClick);
    connect(ckdhqh, &QCheckBox::clicked, this, &Tmainform::ckdhqhClick);
    connect(Button_search, &QToolButton::clicked, this, &Tmainform::Button_searchClick);
}

void Tmainform::buildCentre()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);

    TreeView1 = new DirectoryTreeView(Splitter1);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setAccessibleName(QStringLiteral("目录树"));
    TreeView1->setFont(QFont(QStringLiteral("宋体"), 9));
    TreeView1->setModel(m_treeModel);

    ListView1 = new EntryListView(Splitter1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("地区列表"));
    ListView1->setModel(m_listModel);
    const int widths[] = {72, 150, 70, 80};
    for (int c = 0; c < 4; ++c)
        ListView1->horizontalHeader()->resizeSection(c, widths[c]);
    Splitter1->setStretchFactor(1, 1);
    setCentralWidget(Splitter1);

    StatusPanel0 = new QLabel(QStringLiteral("全国邮政编码、电话区号查询"), this);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setFixedWidth(160);
    StatusPanel1->setAccessibleName(QStringLiteral("条目数"));
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(22);
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(StatusPanel0, 1);
    statusBar()->addPermanentWidget(StatusPanel1);

    connect(TreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        // Keyboard focus makes a node current without selecting it; select it,
        // so that the directory listed is the one the commands act on.
        if (current.isValid() && !m_suppressListing && !TreeView1->selectionModel()->isSelected(current))
            TreeView1->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
        TreeView1Change(m_treeModel->node(current));
    });
    connect(TreeView1, &QTreeView::expanded, this,
            [this](const QModelIndex& i) { TreeView1Expanding(m_treeModel->node(i)); });
    connect(TreeView1, &QTreeView::collapsed, this,
            [this](const QModelIndex& i) { TreeView1Collapsing(m_treeModel->node(i)); });
    // The check of an edited caption may show a message: after the editor has closed.
    connect(m_treeModel, &DirectoryTreeModel::captionEdited, this, &Tmainform::TreeView1Edited,
            Qt::QueuedConnection);
    connect(TreeView1, &DirectoryTreeView::deletePressed, this, &Tmainform::mnuDelNodeClick);
    connect(TreeView1, &DirectoryTreeView::directoryDropped, this, &Tmainform::TreeView1EndDrag);
    connect(TreeView1, &DirectoryTreeView::entriesDropped, this, &Tmainform::ListView1EndDrag);
    connect(ListView1->horizontalHeader(), &QHeaderView::sectionClicked, this, &Tmainform::ListView1ColumnClick);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { EditInfClick(); });
    connect(ListView1, &EntryListView::deletePressed, this, &Tmainform::DelInfClick);
}

void Tmainform::buildMenus()
{
    for (const Menu& def : commandTable()) {
        const bool popup = def.caption[0] == '\0';
        auto* menu = popup ? new QMenu(this) : menuBar()->addMenu(QString::fromUtf8(def.caption));
        menu->setObjectName(QString::fromLatin1(def.name));
        m_menus[menu->objectName()] = menu;
        QActionGroup* radios = nullptr;
        for (const Command& c : def.items) {
            QAction* a = c.kind == Kind::Separator ? menu->addSeparator()
                                                   : menu->addAction(QString::fromUtf8(c.caption));
            a->setObjectName(QString::fromLatin1(c.name));
            m_actions[a->objectName()] = a;
            if (c.kind == Kind::Separator)
                continue;
            if (c.icon != kNoIcon && !popup)
                a->setIcon(style()->standardIcon(QStyle::StandardPixmap(c.icon)));
            if (c.kind == Kind::Radio || c.kind == Kind::Check) {
                a->setCheckable(true);
                a->setChecked(c.checked);
            }
            if (c.kind == Kind::Radio) {
                if (!radios) {
                    // Choosing the checked item again unchecks it, leaving no mode at all.
                    radios = new QActionGroup(menu);
                    radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
                    m_modeGroup = radios;
                }
                radios->addAction(a);
            }
            // Commands without a handler yet stay disabled, also when a menu
            // enables its items on opening.
            a->setProperty("available", c.handler != nullptr);
            if (c.handler)
                connect(a, &QAction::triggered, this, c.handler);
            else
                a->setEnabled(false);
        }
    }
    connect(m_menus[QStringLiteral("MainMenuTools")], &QMenu::aboutToShow, this, &Tmainform::MainMenuToolsClick);
    connect(TreeView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menus[QStringLiteral("PopupMenu1")]->popup(TreeView1->viewport()->mapToGlobal(p)); });
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menus[QStringLiteral("PopupMenu2")]->popup(ListView1->viewport()->mapToGlobal(p)); });
}

QAction* Tmainform::action(const QString& name) const
{
    auto it = m_actions.find(name);
    return it == m_actions.end() ? nullptr : it->second;
}

QMenu* Tmainform::menu(const QString& name) const
{
    auto it = m_menus.find(name);
    return it == m_menus.end() ? nullptr : it->second;
}

LoadReport Tmainform::LoadDatabase()
{
    LoadReport report;
    m_treeModel->rebuild([&] { report = m_db.load(m_db.path()); });
    TreeView1->collapseAll();
    m_listModel->clear();
    showCount(0);
    return report;
}

void Tmainform::FormCreate()
{
    const LoadReport report = LoadDatabase();
    if (!report.ok())
        showError(this, report.message);
    createDialogs();
}

void Tmainform::createDialogs()
{
    // Kept for the whole run, hidden until asked for.
    if (!FrmAddInf) {
        FrmAddInf = new TFrmAddInf(this);
        FrmAddInf->setOnConfirm([this](const EntryText& t) { AppendInf(TreeView1->currentNode(), t); });
    }
    if (!frminputpy)
        frminputpy = new Tfrminputpy(this);
}

// ---------------------------------------------------------------- layout

void Tmainform::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void Tmainform::FormResize()
{
    const int treeWidth = width() / 4;
    Splitter1->setSizes({treeWidth, std::max(0, Splitter1->width() - treeWidth - Splitter1->handleWidth())});
}

void Tmainform::showCount(int count)
{
    StatusPanel1->setText(QStringLiteral("共%1个").arg(count));
}

QString Tmainform::countText() const { return StatusPanel1->text(); }

// ---------------------------------------------------------------- closing

void Tmainform::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

bool Tmainform::FormCloseQuery()
{
    if (m_saving)
        return false;
    if (!m_db.ModifiedFlag)
        return true;
    switch (askSaveChanges(this)) {
    case SaveAnswer::Yes:
        return saveDatabase();  // a failed save keeps the window and the edits
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void Tmainform::FormClose() { m_db.image.clear(); }

void Tmainform::mmcloseClick() { close(); }

// ---------------------------------------------------------------- directories

void Tmainform::selectNode(DirectoryNode* node)
{
    QModelIndex i = m_treeModel->indexOf(node);
    if (i.isValid())
        TreeView1->setCurrentIndex(i);
    else
        TreeView1->selectionModel()->clearCurrentIndex();
}

void Tmainform::newDirectory(int place)
{
    DirectoryNode* anchor = TreeView1->currentNode();
    if (place == int(NewDirectoryPlace::LastChild) && !anchor)
        return;
    DirectoryNode* node = createDirectory(m_db, anchor, NewDirectoryPlace(place));
    if (!node) {
        showMessage(this, QStringLiteral("目录编号已经用完，不能再增加目录。"));
        return;
    }
    if (place == int(NewDirectoryPlace::LastChild))
        TreeView1->expand(m_treeModel->indexOf(anchor));
    // Editing the new caption selects it, as the tree control always does.
    const QModelIndex i = m_treeModel->indexOf(node);
    TreeView1->setCurrentIndex(i);
    TreeView1->scrollTo(i);
    TreeView1->edit(i);
}

void Tmainform::mnuNewNodeClick() { newDirectory(int(NewDirectoryPlace::LastSibling)); }
void Tmainform::mnuInsertNodeClick() { newDirectory(int(NewDirectoryPlace::Before)); }
void Tmainform::mnuSubNodeClick() { newDirectory(int(NewDirectoryPlace::LastChild)); }

void Tmainform::mnuEditNodeClick()
{
    if (DirectoryNode* node = TreeView1->currentNode())
        TreeView1->edit(m_treeModel->indexOf(node));
}

void Tmainform::TreeView1Edited(DirectoryNode* node, const QString& text)
{
    if (m_saving) {
        // The tree is being written: the new caption waits until that is done.
        QTimer::singleShot(0, this, [this, node, text] { TreeView1Edited(node, text); });
        return;
    }
    // The node may have gone while the edit was being delivered.
    bool alive = false;
    m_db.tree.forEach([&](const DirectoryNode* n, int) { alive = alive || n == node; });
    if (!alive)
        return;
    const QString bad = gbk::firstUnencodable(text);
    if (!bad.isEmpty()) {
        showMessage(this, QStringLiteral("“%1”不是GBK字符，不能用在目录名中。").arg(bad));
        selectNode(node);
        return;
    }
    const std::string caption = *gbk::fromQString(text);
    if (checkCaption(caption) != CaptionCheck::Ok) {
        showMessage(this, QStringLiteral("标题不能为空，长度不能超过25！"));
        selectNode(node);
        return;
    }
    node->caption = caption;
    m_db.ModifiedFlag = true;
    m_treeModel->nodeChanged(node);
}

void Tmainform::mnuDelNodeClick()
{
    DirectoryNode* node = TreeView1->currentNode();
    if (!node)
        return;
    if (node->hasChildren()) {
        showMessage(this, QStringLiteral("不能删除有子目录的目录，请先删除子目录！"));
        return;
    }
    if (!confirm(this, QStringLiteral("你真的要删除所选择的目录吗？")))
        return;
    // Afterwards the next directory of the same level is selected, else the
    // previous one, else the parent.
    DirectoryNode* parent = node->parent;
    const int row = node->row();
    DirectoryNode* next = nullptr;
    if (row + 1 < int(parent->children.size()))
        next = parent->children[size_t(row + 1)].get();
    else if (row > 0)
        next = parent->children[size_t(row - 1)].get();
    else if (parent != m_db.tree.root())
        next = parent;
    m_suppressListing = true;
    deleteDirectory(m_db, node);
    selectNode(next);
    m_suppressListing = false;
    TreeView1Change(next);
}

void Tmainform::TreeView1EndDrag(DirectoryNode* dragged, DirectoryNode* target)
{
    if (!dragged)
        return;
    if (!moveDirectory(m_db, dragged, target))
        return;
    if (target)
        TreeView1->expand(m_treeModel->indexOf(target));
    // The moved branch shows its directories opened as they were.
    std::vector<DirectoryNode*> stack{dragged};
    while (!stack.empty()) {
        DirectoryNode* n = stack.back();
        stack.pop_back();
        if (n->expanded)
            TreeView1->setExpanded(m_treeModel->indexOf(n), true);
        for (auto& c : n->children)
            stack.push_back(c.get());
    }
}

void Tmainform::TreeView1Expanding(DirectoryNode* node)
{
    if (!node)
        return;
    node->expanded = true;
    node->icon = kIconExpanded;
    m_treeModel->nodeChanged(node);
}

void Tmainform::TreeView1Collapsing(DirectoryNode* node)
{
    if (!node)
        return;
    node->expanded = false;
    node->icon = kIconCollapsed;
    m_treeModel->nodeChanged(node);
}

// ---------------------------------------------------------------- listing

void Tmainform::TreeView1Change(DirectoryNode* node)
{
    if (m_suppressListing)
        return;
    if (!node) {
        // Nothing selected: nothing listed.
        m_listModel->clear();
        showCount(0);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_listModel->setRows(listDirectory(m_db.image, node->id, node->caption), kColumnAreaCode, +1);
    QApplication::restoreOverrideCursor();
    showCount(m_listModel->count());
}

void Tmainform::ListView1ColumnClick(int column) { m_listModel->columnClicked(column); }

// ---------------------------------------------------------------- entries

std::optional<char> Tmainform::askInitial(uint8_t lead, uint8_t trail)
{
    createDialogs();
    return frminputpy->ask(lead, trail);
}

void Tmainform::learn(const std::string& name)
{
    LearnInitials(m_db.learned, name, [this](uint8_t lead, uint8_t trail) { return askInitial(lead, trail); });
}

void Tmainform::NewInfClick()
{
    if (!TreeView1->currentNode())
        return;
    createDialogs();
    FrmAddInf->exec();
}

void Tmainform::AppendInf(DirectoryNode* node, const EntryText& text)
{
    if (!node)
        return;
    learn(text.name);
    const int32_t pos = appendEntry(m_db, node->id, text);
    if (pos < 0) {
        showError(this, QStringLiteral("数据库已达到最大容量，不能再增加信息。"));
        return;
    }
    // Rows hold each text cut to its field, as the record does.
    m_listModel->addRow(node->caption, text.name, text.areaCode, text.postcode, pos);
}

void Tmainform::EditInfClick()
{
    const int row = ListView1->topSelectedRow();
    if (row < 0)
        return;
    auto* dialog = new TFrmEditInf(this);  // deletes itself when closed
    const EntryRow& r = m_listModel->row(row);
    dialog->setTexts({std::string(r.nameText()), std::string(r.areaText()), std::string(r.postText())});
    dialog->setOnConfirm([this](const EntryText& t) { RewriteInf(ListView1->topSelectedRow(), t); });
    dialog->exec();
}

void Tmainform::RewriteInf(int row, const EntryText& text)
{
    if (row < 0 || row >= m_listModel->count())
        return;
    m_listModel->setRowTexts(row, text.name, text.areaCode, text.postcode);
    learn(text.name);
    rewriteEntry(m_db, m_listModel->row(row).position, text);
    m_db.ModifiedFlag = true;
}

void Tmainform::DelInfClick()
{
    const std::vector<int> rows = ListView1->selectedRowsInOrder();
    if (rows.empty())
        return;
    if (!confirm(this, QStringLiteral("你真的要删除所选择的信息吗？")))
        return;
    for (int r : rows)
        deleteEntry(m_db, m_listModel->row(r).position);
    m_listModel->removeRowsAt(rows);
    m_db.ModifiedFlag = true;
}

void Tmainform::ListView1EndDrag(DirectoryNode* target)
{
    // Rows dropped where no directory lies have nowhere to go: that drop is
    // no edit at all.
    if (!target)
        return;
    m_db.ModifiedFlag = true;
    if (target == TreeView1->currentNode())
        return;
    const std::vector<int> rows = ListView1->selectedRowsInOrder();
    for (int r : rows)
        moveEntry(m_db, m_listModel->row(r).position, target->id);
    m_listModel->removeRowsAt(rows);
}

void Tmainform::SelAllClick()
{
    ListView1->setFocus();
    ListView1->selectAll();
}

// ---------------------------------------------------------------- database

bool Tmainform::saveDatabase()
{
    // Compressing a large database takes seconds. It runs beside the event
    // loop, which keeps the window painted and shows progress, while input
    // waits until the save is over (nothing may change the image meanwhile).
    QProgressDialog progress(QStringLiteral("正在保存数据库……"), QString(), 0, 100, this);
    progress.setWindowTitle(QString::fromLatin1(kApplicationTitle));
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setValue(0);
    // Edits already on their way (a caption just typed) land before the tree is written.
    QCoreApplication::sendPostedEvents();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_saving = true;
    std::atomic<int> percent{0};
    SaveReport report;
    QEventLoop loop;
    std::thread worker([&] {
        report = m_db.save([&percent](int p) { percent = p; });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, &progress, [&] { progress.setValue(std::min(percent.load(), 99)); });
    ticker.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    ticker.stop();
    m_saving = false;
    progress.close();
    QApplication::restoreOverrideCursor();
    m_listModel->relocate(report.relocation);
    if (!report.ok) {
        showError(this, QStringLiteral("%1。\n\n数据库没有保存，原来的文件保持不变；所做的修改仍在程序中，没有丢失。")
                            .arg(report.message));
        return false;
    }
    if (!report.preservedAs.isEmpty())
        showMessage(this, QStringLiteral("数据库已保存。原来损坏的文件已改名为“%1”保留。")
                              .arg(QFileInfo(report.preservedAs).fileName()));
    return true;
}

void Tmainform::mmsaveClick() { saveDatabase(); }

void Tmainform::mmcompresClick()
{
    if (m_db.ModifiedFlag && !saveDatabase())
        return;
    m_listModel->relocate(compactEntries(m_db));
    showMessage(this, QStringLiteral("数据库压缩完毕！"));
}

void Tmainform::mmrecoverClick()
{
    if (m_db.ModifiedFlag && !saveDatabase())
        return;
    const RecoveryResult result = recoverEntries(m_db);
    if (!saveDatabase())
        return;
    if (result.count > 0)
        showMessage(this, QStringLiteral("共恢复数据%1条").arg(result.count));
}

// ---------------------------------------------------------------- search

QueryOptions Tmainform::queryOptions() const
{
    QueryOptions o;
    o.exact = jq->isChecked();
    o.fuzzy = mh->isChecked();
    o.byName = ckdqmc->isChecked();
    o.byInitials = ckdqpy->isChecked();
    o.byPostcode = ckyzbm->isChecked();
    o.byAreaCode = ckdhqh->isChecked();
    return o;
}

void Tmainform::Button_searchClick()
{
    const QString text = Edit1->text();
    const std::optional<std::string> query = gbk::fromQString(text);
    if (!query) {
        showMessage(this, QStringLiteral("“%1”不是GBK字符，数据库中不会有它。").arg(gbk::firstUnencodable(text)));
        return;
    }
    if (isBlankQuery(*query)) {
        showMessage(this, QStringLiteral("请输入关键字！"));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_listModel->setRows(searchEntries(m_db, *query, queryOptions()), kColumnAreaCode, -1);
    QApplication::restoreOverrideCursor();
    showCount(m_listModel->count());
}

bool Tmainform::eventFilter(QObject* watched, QEvent* event)
{
    // Edit1KeyDown: Enter searches, whatever the shift state.
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Button_searchClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tmainform::setRadio(QRadioButton* button, bool checked)
{
    if (button->isChecked() == checked)
        return;
    // An exclusive group never lets its checked button go; the menu can
    // leave neither mode chosen, so the bar must be able to follow.
    QButtonGroup* group = button->group();
    if (!checked && group)
        group->setExclusive(false);
    button->setChecked(checked);
    if (!checked && group)
        group->setExclusive(true);
}

void Tmainform::jqClick() { action(QStringLiteral("mmjq"))->setChecked(jq->isChecked()); }
void Tmainform::mhClick() { action(QStringLiteral("mmmh"))->setChecked(mh->isChecked()); }
// The menu item has already changed its check when its handler runs.
void Tmainform::mmjqClick() { setRadio(jq, action(QStringLiteral("mmjq"))->isChecked()); }
void Tmainform::mmmhClick() { setRadio(mh, action(QStringLiteral("mmmh"))->isChecked()); }
void Tmainform::ckdqmcClick() { action(QStringLiteral("mmdqmc"))->setChecked(ckdqmc->isChecked()); }
void Tmainform::ckdqpyClick() { action(QStringLiteral("mmdqpy"))->setChecked(ckdqpy->isChecked()); }
void Tmainform::ckyzbmClick() { action(QStringLiteral("mmyzbm"))->setChecked(ckyzbm->isChecked()); }
void Tmainform::ckdhqhClick() { action(QStringLiteral("mmdhqh"))->setChecked(ckdhqh->isChecked()); }
void Tmainform::mmdqmcClick() { ckdqmc->setChecked(action(QStringLiteral("mmdqmc"))->isChecked()); }
void Tmainform::mmdqpyClick() { ckdqpy->setChecked(action(QStringLiteral("mmdqpy"))->isChecked()); }
void Tmainform::mmyzbmClick() { ckyzbm->setChecked(action(QStringLiteral("mmyzbm"))->isChecked()); }
void Tmainform::mmdhqhClick() { ckdhqh->setChecked(action(QStringLiteral("mmdhqh"))->isChecked()); }

// ---------------------------------------------------------------- tools

void Tmainform::MainMenuToolsClick()
{
    // Printing is offered only when there is something listed to print.
    QAction* print = action(QStringLiteral("mmprintcurrent"));
    const bool available = print->property("available").toBool();
    print->setEnabled(available && m_listModel->count() > 0);
}

}  // namespace qv
