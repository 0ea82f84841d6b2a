#include "app/Tmainform.h"

#include "app/ShellCommands.h"
#include "entries/ui/EntryCommands.h"
#include "exchange/ui/ExchangeCommands.h"
#include "exchange/ui/PrintCommands.h"
#include "lookup/ui/DirectoryHits.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "lookup/ui/SearchBar.h"
#include "lookup/ui/SearchCommands.h"
#include "lookup/ui/Tfrminputpy.h"
#include "store/ui/DatabaseCommands.h"
#include "store/ui/UpdateCommands.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "tree/ui/TreeCommands.h"
#include "widgets/Icons.h"
#include "widgets/MessageBox.h"
#include "widgets/Fonts.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSizeGrip>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace qv {

Tmainform::Tmainform(const QString& databasePath, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    m_db.setPath(databasePath);
    setWindowTitle(QStringLiteral("Tolmerix V2.0.0"));
    setWindowIcon(applicationIcon());
    setFont(songTi(12));

    m_treeModel = new DirectoryTreeModel(m_db.tree, this);
    m_listModel = new EntryListModel(m_db, this);
    m_searchBar = new SearchBar(this);
    addToolBar(Qt::TopToolBarArea, m_searchBar);
    buildCentre();

    m_pinyinDialog = new Tfrminputpy(this);
    m_databaseCommands = new DatabaseCommands(m_db, this);
    m_treeCommands = new TreeCommands(m_db, *m_databaseCommands, m_tree, m_treeModel, this);
    m_searchCommands = new SearchCommands(m_db, m_listModel, m_searchBar, this);
    m_searchCommands->setDirectoryHits(m_directoryHits);
    const AskInitialFn askInitial = [this](uint8_t lead, uint8_t trail) { return m_pinyinDialog->ask(lead, trail); };
    m_entryCommands = new EntryCommands(m_db, m_tree, m_list, m_listModel, askInitial, this);
    m_exchangeCommands = new ExchangeCommands(m_db, m_tree, m_listModel, askInitial, this);
    m_printCommands = new PrintCommands(this);
    m_shellCommands = new ShellCommands(this);
    m_updateCommands = new UpdateCommands(m_db, *m_databaseCommands, this);
    // While a newer bundle waits for 更新数据 the status bar says so.
    connect(m_updateCommands, &UpdateCommands::noteChanged, m_statusText, [this](const QString& note) {
        m_updateNote = note;
        showStatusText();
    });
    buildCommands({this, m_treeCommands, m_entryCommands, m_searchCommands, m_databaseCommands, m_exchangeCommands,
                   m_printCommands, m_shellCommands, m_updateCommands, m_listModel},
                  m_actions, m_menus);
    bindKeys(m_actions, m_tree, m_list);
    m_menus.PopupMenu2->addSeparator();
    m_menus.PopupMenu2->addActions(m_list->columnActions());
    auto* findKey = new QAction(this);
    findKey->setObjectName(QStringLiteral("FindKey"));
    findKey->setShortcuts(QKeySequence::Find);
    connect(findKey, &QAction::triggered, this, &Tmainform::focusQueryBox);
    addAction(findKey);

    connect(m_treeCommands, &TreeCommands::directoryChosen, m_searchCommands, &SearchCommands::TreeView1Change);
    connect(m_directoryHits, &DirectoryHits::chosen, this, &Tmainform::openDirectory);
    // Down, or Enter once the results are there, goes on from the query box into them.
    connect(m_searchBar, &SearchBar::resultsRequested, m_list, &EntryListView::enterRows);
    connect(m_searchCommands, &SearchCommands::resultsWanted, m_list, &EntryListView::enterRows);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, m_searchCommands,
            &SearchCommands::ListView1ColumnClick);
    // These move, purge and add records: the list shows the chosen directory again.
    connect(m_databaseCommands, &DatabaseCommands::entriesRearranged, this,
            [this] { m_searchCommands->TreeView1Change(m_tree->currentNode()); });
    connect(m_updateCommands, &UpdateCommands::entriesRearranged, this,
            [this] { m_searchCommands->TreeView1Change(m_tree->currentNode()); });
    connect(m_databaseCommands, &DatabaseCommands::readOnlyChanged, this, &Tmainform::showReadOnly);
    connect(m_menus.MainMenuTools, &QMenu::aboutToShow, this, &Tmainform::MainMenuToolsClick);
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menus.PopupMenu1->popup(m_tree->viewport()->mapToGlobal(p)); });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menus.PopupMenu2->popup(m_list->viewport()->mapToGlobal(p)); });
    // The count always says how many rows the list shows.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_listModel, signal, this, &Tmainform::showCount);
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &Tmainform::showCount);
    showCount();

    // Tab goes round the search bar, the tree and the list, nowhere else.
    SearchBar* b = m_searchBar;
    const QList<QWidget*> chain{b->jq,     b->mh,    b->ckdqmc,        b->ckdqpy, b->ckyzbm,
                                b->ckdhqh, b->Edit1, b->Button_search, m_tree,    m_list};
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    for (QWidget* w : chain)
        w->setFocusPolicy(w == b->Edit1 || w == m_tree || w == m_list ? Qt::StrongFocus : Qt::TabFocus);

    // 544 x 375 unless the search bar needs more room with the fonts at hand;
    // never so narrow that part of the bar would hide in an overflow menu.
    setMinimumSize(m_searchBar->sizeHint().width(), 240);
    resize(std::max(544, m_searchBar->sizeHint().width()), 375);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    nameControls();
    // Every control shows where the focus is, not only after the first Tab.
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void Tmainform::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Typing starts a search: the query box has the focus when the window
    // first comes up (set now, when its controls can take it).
    if (!std::exchange(m_shown, true))
        m_searchBar->Edit1->setFocus();
}

void Tmainform::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    // The about box, the add dialog and the export dialog are kept, hidden,
    // for the whole run (the pinyin dialog is made with the window). None is
    // needed for the first frame: they are made once it has been drawn (the
    // window paints before its controls, and the timer fires after them).
    if (!std::exchange(m_painted, true))
        QTimer::singleShot(0, this, [this] {
            m_shellCommands->aboutBox();
            m_entryCommands->addDialog();
            m_exchangeCommands->exportDialog();
        });
}

void Tmainform::nameControls()
{
    // What a screen reader says for controls without a caption of their own.
    menuBar()->setAccessibleName(QStringLiteral("主菜单"));
    m_splitter->setAccessibleName(QStringLiteral("目录与列表分隔条"));
    for (int i = 0; i < m_splitter->count(); ++i)
        m_splitter->handle(i)->setAccessibleName(QStringLiteral("目录与列表分隔条"));
    statusBar()->setAccessibleName(QStringLiteral("状态栏"));
    if (auto* grip = statusBar()->findChild<QSizeGrip*>())
        grip->setAccessibleName(QStringLiteral("调整窗口大小"));
    m_list->horizontalHeader()->setAccessibleName(QStringLiteral("列标题"));
    m_tree->header()->setAccessibleName(QStringLiteral("目录"));
    m_menus.PopupMenu1->setAccessibleName(QStringLiteral("目录菜单"));
    m_menus.PopupMenu2->setAccessibleName(QStringLiteral("信息菜单"));
}

void Tmainform::focusQueryBox()
{
    m_searchBar->Edit1->setFocus(Qt::ShortcutFocusReason);
    m_searchBar->Edit1->selectAll();
}

namespace {
const char* const kGeometryKey = "MainWindow/geometry";
const char* const kColumnsKey = "MainWindow/columns";
const char* const kColumnsSetKey = "MainWindow/columnsSetByUser";
}  // namespace

void Tmainform::restoreWindowState()
{
    const QSettings settings;
    const QByteArray geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    // Widths the user set come back; otherwise the columns share the width.
    const QByteArray columns = settings.value(QLatin1String(kColumnsKey)).toByteArray();
    const bool setByUser = settings.value(QLatin1String(kColumnsSetKey), false).toBool();
    if (setByUser && !columns.isEmpty())
        m_list->horizontalHeader()->restoreState(columns);
    m_list->setColumnsFollowWidth(!setByUser || columns.isEmpty());
}

void Tmainform::saveWindowState() const
{
    QSettings settings;
    settings.setValue(QLatin1String(kGeometryKey), saveGeometry());
    settings.setValue(QLatin1String(kColumnsKey), m_list->horizontalHeader()->saveState());
    settings.setValue(QLatin1String(kColumnsSetKey), !m_list->columnsFollowWidth());
}

Tmainform::~Tmainform()
{
    // Both models watch the database: they go before it does.
    delete m_treeModel;
    m_treeModel = nullptr;
    delete m_listModel;
    m_listModel = nullptr;
}

void Tmainform::openDirectory(int32_t id)
{
    DirectoryNode* node = m_db.tree.findById(id);
    if (!node)
        return;
    for (DirectoryNode* p = node->parent; p && p != m_db.tree.root(); p = p->parent)
        m_tree->expand(m_treeModel->indexOf(p));
    // Choosing the directory that is selected already lists it all the same.
    const bool current = m_tree->currentNode() == node;
    m_treeCommands->selectNode(node);
    if (current)
        m_searchCommands->TreeView1Change(node);
    m_tree->scrollTo(m_treeModel->indexOf(node));
}

void Tmainform::buildCentre()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->setHandleWidth(3);
    m_splitter->setChildrenCollapsible(false);

    m_tree = new DirectoryTreeView(m_splitter);
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setAccessibleName(QStringLiteral("目录树"));
    m_tree->setFont(QFont(QStringLiteral("宋体"), 9));
    m_tree->setModel(m_treeModel);

    // The list, with the directories a search found above it.
    auto* results = new QWidget(m_splitter);
    results->setObjectName(QStringLiteral("Results"));
    auto* column = new QVBoxLayout(results);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_directoryHits = new DirectoryHits(results);
    column->addWidget(m_directoryHits);
    m_list = new EntryListView(results);
    column->addWidget(m_list, 1);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setAccessibleName(QStringLiteral("地区列表"));
    m_list->setModel(m_listModel);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    m_statusText = new QLabel(QStringLiteral("全国邮政编码、电话区号查询"), this);
    m_statusText->setObjectName(QStringLiteral("StatusPanel0"));
    m_statusCount = new QLabel(this);
    m_statusCount->setObjectName(QStringLiteral("StatusPanel1"));
    m_statusCount->setFixedWidth(160);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(22);
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(m_statusText, 1);
    statusBar()->addPermanentWidget(m_statusCount);
}

void Tmainform::setBundledDatabase(const QString& bundled, bool madeFromBundle)
{
    m_updateCommands->setBundledDatabase(bundled, madeFromBundle);
}

QString Tmainform::statusText() const { return m_statusText->text(); }

void Tmainform::openReadOnly(const QString& why) { m_databaseCommands->setReadOnly(why); }

void Tmainform::showReadOnly(const QString& why)
{
    // Always in sight: the title and the status bar say that saving goes elsewhere.
    const bool readOnly = !why.isEmpty();
    setWindowTitle(readOnly ? QStringLiteral("Tolmerix V2.0.0（只读）") : QStringLiteral("Tolmerix V2.0.0"));
    m_statusText->setToolTip(why);
    showStatusText();
}

void Tmainform::showStatusText()
{
    // Read-only matters most: it says where a save can go.
    if (m_databaseCommands->isReadOnly())
        m_statusText->setText(QStringLiteral("只读：修改只能另存为另一个文件"));
    else if (!m_updateNote.isEmpty())
        m_statusText->setText(m_updateNote);
    else
        m_statusText->setText(QStringLiteral("全国邮政编码、电话区号查询"));
}

void Tmainform::FormCreate(const QString& startProblem)
{
    if (!startProblem.isEmpty())
        showError(this, startProblem);
    m_databaseCommands->claimDatabase();
    // Replacing an unedited copy with newer bundled data writes the file:
    // only the window that holds it may.
    if (m_databaseCommands->holdsLock())
        m_updateCommands->beforeLoad();
    const LoadReport report = LoadDatabase();
    // One message for a start without a database of its own: the first
    // says why, and a save cannot create the file the load would promise.
    if (!report.ok() && !(report.status == FileReadResult::Missing && !startProblem.isEmpty()))
        showError(this, report.message);
    m_updateCommands->afterLoad();
}

LoadReport Tmainform::LoadDatabase()
{
    LoadReport report;
    m_treeModel->rebuild([&] { report = m_db.load(m_db.path()); });
    m_tree->collapseAll();
    m_listModel->clear();
    return report;
}

void Tmainform::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void Tmainform::FormResize()
{
    const int treeWidth = width() / 4;
    m_splitter->setSizes({treeWidth, std::max(0, m_splitter->width() - treeWidth - m_splitter->handleWidth())});
}

void Tmainform::showCount() { m_statusCount->setText(QStringLiteral("共%1个").arg(m_listModel->count())); }

QString Tmainform::countText() const { return m_statusCount->text(); }

void Tmainform::closeEvent(QCloseEvent* event)
{
    if (!m_databaseCommands->FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void Tmainform::FormClose()
{
    m_db.image.clear();
    m_databaseCommands->releaseDatabase();
}

void Tmainform::MainMenuToolsClick()
{
    // Printing is offered only when there is something listed to print.
    m_actions.mmprintcurrent->setEnabled(m_listModel->count() > 0);
    m_actions.mmprintpreview->setEnabled(m_listModel->count() > 0);
}

}  // namespace qv
