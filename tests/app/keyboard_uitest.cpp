// Everyday use by keyboard, mouse and screen reader: where the focus starts,
// the keys of the commands, moving in the list, the dialogs' Enter and Esc,
// the refresh after maintenance, the drop mark, named controls, the about
// box's links and the window state kept between runs.
#include "RecordingDesktopOpener.h"
#include "TestImages.h"
#include "UiHelpers.h"
#include "app/HelpLinks.h"
#include "app/TForm_about.h"
#include "app/Tmainform.h"
#include "entries/ui/EntryCommands.h"
#include "entries/ui/EntryDialog.h"
#include "exchange/ui/ExchangeCommands.h"
#include "exchange/ui/TForm_export.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "lookup/ui/SearchBar.h"
#include "lookup/ui/Tfrminputpy.h"
#include "store/GbkText.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/DragTypes.h"
#include "widgets/Icons.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

using namespace qv;
using namespace qvtest;

namespace {

std::string g(const char* utf8) { return qvtest::gbk(utf8); }

// 广东省 (1) with 深圳市 (2, forty places); 北京市 (3) with two.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(g("广东省"), 0, 1).dir(g("深圳市"), 1, 2).dir(g("北京市"), 0, 3).end(3).learnedCount(0);
    for (int i = 0; i < 40; ++i)
        b.entry("p" + std::to_string(100 + i), 2, std::to_string(518000 + i), std::to_string(1000 + i));
    b.entry(g("东城区"), 3, "100010", "010").entry(g("西城区"), 3, "100032", "010");
    return b.bytes;
}

// Gives `w` the keyboard focus as the window system does when a modal
// window over it closes (the offscreen platform leaves the closed one active).
void activate(QWidget* w)
{
    QApplication::setActiveWindow(w->window());
    w->setFocus();
}

QLineEdit* treeEditor(Tmainform& w)
{
    for (QLineEdit* e : w.treeView()->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// The controls a screen reader must be able to name: everything the user
// works with, the bars and panels that hold them and what reports progress.
bool isControl(QWidget* w)
{
    if (!w->isVisibleTo(w->window()) && !w->inherits("QToolBarExtension"))
        return false;
    static const char* const kinds[] = {"QAbstractButton", "QLineEdit",  "QAbstractItemView", "QProgressBar",
                                        "QStatusBar",      "QSplitter",  "QSplitterHandle",   "QMenuBar",
                                        "QToolBar",        "QScrollBar", "QHeaderView",       "QSizeGrip"};
    for (const char* kind : kinds)
        if (w->inherits(kind))
            return true;
    return w->focusPolicy() != Qt::NoFocus && !w->inherits("QDialog") && !w->inherits("QMainWindow") &&
           w->objectName() != QLatin1String("qt_scrollarea_viewport");
}

bool hasChinese(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// Every control of `top` (a window or dialog) without a Chinese accessible
// name; the kinds of control looked at go to `kinds`.
QStringList unnamedControls(QWidget* top, QSet<QString>* kinds = nullptr)
{
    QStringList out;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!isControl(w) || (w->window() != top))
            continue;
        if (kinds)
            kinds->insert(QString::fromLatin1(w->metaObject()->className()));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        const QString name = a ? a->text(QAccessible::Name) : QString();
        if (!hasChinese(name))
            out << QStringLiteral("%1 %2 '%3'")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), name);
    }
    return out;
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDatabase> m_db;

    std::unique_ptr<Tmainform> open()
    {
        auto w = openOnImage(m_db, sampleImage());
        if (w) {
            w->activateWindow();
            (void)QTest::qWaitForWindowActive(w.get());
        }
        return w;
    }

private slots:
    void initTestCase()
    {
        // Settings go to a folder of the test's own, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        static QTemporaryDir config;
        QVERIFY(config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        QCoreApplication::setOrganizationName(QStringLiteral("Qarvenda"));
        QCoreApplication::setApplicationName(QStringLiteral("Qarvenda"));
        // 帮助, 我的主页 and 给我写信 start nothing.
        static RecordingDesktopOpener desktop;
        DesktopOpener::setSystem(&desktop);
    }

    void typingStartsInTheQueryBoxAndCtrlFReturnsThere()
    {
        auto w = open();
        QVERIFY(w);
        QLineEdit* query = w->searchBar()->Edit1;
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(query));
        QTest::keyClicks(query, QStringLiteral("0755"));
        QCOMPARE(query->text(), QStringLiteral("0755"));
        // From the list and from the tree, Ctrl+F selects the query to type over.
        for (QWidget* from : {static_cast<QWidget*>(w->listView()), static_cast<QWidget*>(w->treeView())}) {
            from->setFocus();
            QCOMPARE(QApplication::focusWidget(), from);
            QTest::keyClick(from, Qt::Key_F, Qt::ControlModifier);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(query));
            QCOMPARE(query->selectedText(), QStringLiteral("0755"));
        }
        // Focus marks show without a Tab first.
        QVERIFY(w->testAttribute(Qt::WA_KeyboardFocusChange));
    }

    void everyKeyTriggersItsCommandWhereItApplies()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        w->listView()->selectRow(3);
        struct Case {
            const char* focus;  // "list", "tree" or "query"
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            const char* item;    // the menu item the key must trigger; empty: none
            const char* answer;  // the button that answers the window it opens, if any
        };
        const Case cases[] = {
            {"list", Qt::Key_S, Qt::ControlModifier, "mmsave", nullptr},
            {"tree", Qt::Key_N, Qt::ControlModifier, "N1", "取消"},
            {"list", Qt::Key_Return, {}, "mmeditinf", "取消"},
            {"list", Qt::Key_Enter, Qt::KeypadModifier, "mmeditinf", "取消"},
            {"list", Qt::Key_F2, {}, "mmeditinf", "取消"},
            {"list", Qt::Key_Delete, {}, "mmdelinf", "放弃"},
            {"list", Qt::Key_A, Qt::ControlModifier, "N3", nullptr},
            {"tree", Qt::Key_F2, {}, "mmeditnode", nullptr},
            {"list", Qt::Key_M, Qt::ControlModifier, "mmmoveinf", "取消"},
            {"tree", Qt::Key_M, Qt::ControlModifier, "mmmovenode", "取消"},
            {"query", Qt::Key_F1, {}, "N14", nullptr},
            // The list's order from anywhere, straight after typing a query too.
            {"query", Qt::Key_2, Qt::ControlModifier, "mmsortname", nullptr},
            // Keys of the list's and the tree's commands stay with them.
            {"tree", Qt::Key_Delete, {}, "", "放弃"},
            {"query", Qt::Key_F2, {}, "", nullptr},
            {"query", Qt::Key_Delete, {}, "", nullptr},
            {"query", Qt::Key_A, Qt::ControlModifier, "", nullptr},
            {"query", Qt::Key_M, Qt::ControlModifier, "", nullptr},
        };
        const QStringList items{"mmsave",    "N1",      "mmeditinf", "mmdelinf",  "N3",        "mmeditnode", "N14",
                                "mmprintcurrent", "mmclose", "mmdelnode", "mmmoveinf", "mmmovenode", "mmsortname"};
        for (const Case& c : cases) {
            const QString label =
                QStringLiteral("%1 %2 %3").arg(QLatin1String(c.focus)).arg(int(c.key)).arg(QLatin1String(c.item));
            QWidget* focus = QByteArray(c.focus) == "list"   ? static_cast<QWidget*>(w->listView())
                             : QByteArray(c.focus) == "tree" ? static_cast<QWidget*>(w->treeView())
                                                             : static_cast<QWidget*>(w->searchBar()->Edit1);
            activate(focus);
            if (focus == w->treeView())
                w->treeView()->setCurrentIndex(w->treeModel()->indexOf(findNode(*w, "深圳市")));
            std::map<QString, std::unique_ptr<QSignalSpy>> spies;
            for (const QString& name : items)
                spies[name] = std::make_unique<QSignalSpy>(qvtest::action(*w, name), &QAction::triggered);
            ModalScript script;
            if (c.answer)
                script.click(QString::fromUtf8(c.answer));
            QTest::keyClick(focus, c.key, c.modifiers);
            for (const QString& name : items)
                QVERIFY2(spies[name]->count() == (name == QLatin1String(c.item) ? 1 : 0),
                         qPrintable(label + QLatin1Char(' ') + name + QString::number(spies[name]->count())));
            QVERIFY2(script.finished(), qPrintable(label));
            if (QLineEdit* e = treeEditor(*w))
                QTest::keyClick(e, Qt::Key_Escape);
            if (QByteArray(c.item) == "N3")
                QCOMPARE(int(w->listView()->selectedRowsInOrder().size()), 40);
            if (QByteArray(c.item) == "mmsave")
                QVERIFY(!w->database().ModifiedFlag);
            w->listView()->selectRow(3);
        }
        // Ctrl+P with nothing to print says so; Ctrl+Q closes the window.
        w->listModel()->clear();
        activate(w->listView());
        ModalScript script;
        script.click(QStringLiteral("确定"));
        QTest::keyClick(w->listView(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(0), QStringLiteral("列表框中无打印内容！"));
        activate(w->listView());
        QTest::keyClick(w->listView(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w->isVisible());
    }

    void listKeysMoveAndSelectTheCurrentRow()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        EntryListView* list = w->listView();
        list->setFocus();
        list->setCurrentIndex(w->listModel()->index(5, 1));
        struct Case {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            int current;
            std::vector<int> selected;  // {first, last}
        };
        const int last = 39;
        const Case cases[] = {
            {Qt::Key_End, {}, last, {last, last}},
            {Qt::Key_Home, {}, 0, {0, 0}},
            {Qt::Key_End, Qt::ControlModifier, last, {last, last}},
            {Qt::Key_Home, Qt::ControlModifier, 0, {0, 0}},
            {Qt::Key_End, Qt::ShiftModifier, last, {0, last}},
            {Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier, 0, {0, 0}},
            {Qt::Key_PageDown, Qt::ControlModifier, -1, {}},
            {Qt::Key_PageUp, {}, 0, {0, 0}},
        };
        for (const Case& c : cases) {
            QTest::keyClick(list, c.key, c.modifiers);
            const QString label = QStringLiteral("key %1 mods %2").arg(int(c.key)).arg(int(c.modifiers));
            const int current = list->currentIndex().row();
            const std::vector<int> rows = list->selectedRowsInOrder();
            if (c.current < 0) {
                // A page down: somewhere below, and that row alone selected.
                QVERIFY2(current > 0 && rows == std::vector<int>{current}, qPrintable(label));
                continue;
            }
            QVERIFY2(current == c.current, qPrintable(label));
            // The column stays where it was.
            QVERIFY2(list->currentIndex().column() == 1, qPrintable(label));
            QVERIFY2(!rows.empty() && rows.front() == c.selected[0] && rows.back() == c.selected[1] &&
                         int(rows.size()) == c.selected[1] - c.selected[0] + 1,
                     qPrintable(label));
        }
        // The delete question says how many places go, the scrolled-off ones included.
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        ModalScript script;
        script.click(QStringLiteral("放弃"));
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(0), QStringLiteral("你真的要删除所选择的信息吗？\n共40条信息将被删除。"));
        QCOMPARE(w->listModel()->rowCount(), 40);
    }

    void enterConfirmsAndEscapeClosesTheDialogs()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "北京市"));
        const int64_t size = w->database().image.size();
        ModalScript script;
        // The add dialog: Enter in any field adds the place and keeps the dialog open.
        script.then([](QWidget* m) {
            auto* d = qobject_cast<TFrmAddInf*>(m);
            QVERIFY(d);
            activate(d->Edtmc);
            QTest::keyClicks(d->Edtmc, QStringLiteral("Yanqing"));
            QTest::keyClicks(d->Edtqh, QStringLiteral("010"));
            QTest::keyClick(d->Edtqh, Qt::Key_Return);
            QVERIFY(d->isVisible());
            QCOMPARE(d->Edtmc->text(), QString());
            QTest::keyClicks(d->Edtyb, QStringLiteral("102100"));
            QTest::keyClick(d->Edtyb, Qt::Key_Enter, Qt::KeypadModifier);
        });
        script.then([](QWidget* m) {
            activate(m);
            QTest::keyClick(m, Qt::Key_Escape);
        });
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->database().image.size(), size + 96);
        QCOMPARE(w->listModel()->rowCount(), 4);

        // The edit dialog, opened by `open` on the list: the name typed, then
        // `key` pressed on the name field (or on 取消).
        auto edit = [&](Qt::Key open, const QString& name, Qt::Key key, bool onCancel) {
            activate(w->listView());
            script.then([&](QWidget* m) {
                auto* d = qobject_cast<TFrmEditInf*>(m);
                QVERIFY(d);
                QWidget* target = onCancel ? static_cast<QWidget*>(d->Button2) : d->Edtmc;
                activate(target);
                d->Edtmc->setText(name);
                QTest::keyClick(target, key);
            });
            QTest::keyClick(w->listView(), open);
            QVERIFY(script.finished());
        };
        // Esc changes nothing, Enter on 取消 is 取消, Enter rewrites the row.
        activate(w->listView());
        w->listView()->selectRow(0);
        const std::string before(w->listModel()->row(0).nameText());
        edit(Qt::Key_Return, QStringLiteral("changed"), Qt::Key_Escape, false);
        QCOMPARE(std::string(w->listModel()->row(0).nameText()), before);
        edit(Qt::Key_Return, QStringLiteral("changed"), Qt::Key_Return, true);
        QCOMPARE(std::string(w->listModel()->row(0).nameText()), before);
        edit(Qt::Key_F2, QStringLiteral("Miyun"), Qt::Key_Return, false);
        QVERIFY(w->database().ModifiedFlag);
        bool found = false;
        for (int r = 0; r < w->listModel()->rowCount(); ++r)
            found |= w->listModel()->row(r).nameText() == "Miyun";
        QVERIFY(found);
    }

    void enterAnswersThePinyinQuestion()
    {
        auto w = open();
        QVERIFY(w);
        auto* dialog = w->findChild<Tfrminputpy*>();
        QVERIFY(dialog);
        ModalScript script;
        script.then([](QWidget* m) {
            auto* py = qobject_cast<Tfrminputpy*>(m);
            QVERIFY(py);
            activate(py->Edit1);
            QTest::keyClick(py->Edit1, Qt::Key_Backspace);  // the known reading's C taken away
            QTest::keyClick(py->Edit1, Qt::Key_Return);     // nothing left: not taken
            QVERIFY(py->isVisible());
            QTest::keyClicks(py->Edit1, QStringLiteral("q"));
            QTest::keyClick(py->Edit1, Qt::Key_Return);
        });
        const std::string ch = g("亍");
        QCOMPARE(dialog->ask(uint8_t(ch[0]), uint8_t(ch[1])), std::optional<char>('Q'));
        QVERIFY(script.finished());
    }

    void maintenanceListsTheChosenDirectoryAgain()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        // Two places deleted, then recovered: the list and the count show them.
        w->listView()->setFocus();
        w->listView()->selectRow(0);
        QTest::keyClick(w->listView(), Qt::Key_Down, Qt::ShiftModifier);
        ModalScript script;
        script.click(QStringLiteral("确定")).click(QStringLiteral("确定"));
        QTest::keyClick(w->listView(), Qt::Key_Delete);
        QCOMPARE(w->listModel()->rowCount(), 38);
        activate(w->listView());
        qvtest::action(*w, "mmrecover")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.value(1), QStringLiteral("共恢复数据2条"));
        QCOMPARE(w->listModel()->rowCount(), 40);
        QCOMPARE(w->countText(), QStringLiteral("共40个"));
        // A search's results give way to the directory after a compaction.
        w->searchBar()->Edit1->setText(QStringLiteral("东城"));
        QTest::keyClick(w->searchBar()->Edit1, Qt::Key_Return);
        QCOMPARE(w->listModel()->rowCount(), 1);
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmcompres")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->countText(), QStringLiteral("共40个"));
        for (int r = 0; r < 40; ++r)
            QCOMPARE(w->listModel()->index(r, 0).data().toString(), QStringLiteral("深圳市"));
    }

    void noContextMenuHidesTheSearchBar()
    {
        auto w = open();
        QVERIFY(w);
        for (QWidget* target : {static_cast<QWidget*>(w->menuBar()), static_cast<QWidget*>(w->searchBar()),
                                static_cast<QWidget*>(w->statusBar())}) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(target, &event);
            QCoreApplication::processEvents();
            for (QMenu* m : w->findChildren<QMenu*>())
                QVERIFY2(!m->isVisible(), qPrintable(m->objectName()));
            QVERIFY(QApplication::activePopupWidget() == nullptr);
        }
        QVERIFY(w->searchBar()->isVisible());
    }

    void theDropTargetIsMarkedWhileHovering()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        DirectoryTreeView* tree = w->treeView();
        DirectoryNode* bj = findNode(*w, "北京市");
        const QPoint over = tree->visualRect(w->treeModel()->indexOf(bj)).center();
        QMimeData mime;
        mime.setData(drag::entriesFormat(), "1");
        QDragEnterEvent enter(over, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(tree->viewport(), &enter);
        QDragMoveEvent move(over, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(tree->viewport(), &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(tree->dropTargetNode(), bj);
        // Below the last directory there is no target to mark.
        const QPoint below(5, tree->viewport()->height() - 2);
        QDragMoveEvent away(below, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(tree->viewport(), &away);
        QCOMPARE(tree->dropTargetNode(), static_cast<DirectoryNode*>(nullptr));
        QApplication::sendEvent(tree->viewport(), &move);
        QCOMPARE(tree->dropTargetNode(), bj);
        QDragLeaveEvent leave;
        QApplication::sendEvent(tree->viewport(), &leave);
        QCOMPARE(tree->dropTargetNode(), static_cast<DirectoryNode*>(nullptr));
        // The picture that follows the pointer sits beside it.
        QVERIFY(drag::kPictureHotSpot.x() < 0 && drag::kPictureHotSpot.y() < 0);
    }

    void everyControlHasAChineseName()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QSet<QString> kinds;
        QCOMPARE(unnamedControls(w.get(), &kinds), QStringList());
        for (const char* kind : {"QToolBarExtension", "QSplitterHandle", "QSplitter", "QStatusBar", "QRadioButton",
                                 "QCheckBox", "QLineEdit", "QToolButton", "qv::EntryListView", "qv::DirectoryTreeView",
                                 "QHeaderView", "QMenuBar", "qv::SearchBar", "QSizeGrip"})
            QVERIFY2(kinds.contains(QLatin1String(kind)), kind);
        // The tree's header reads 目录, not a number.
        QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(w->treeView());
        QVERIFY(tree && tree->tableInterface());
        QAccessibleInterface* header = tree->child(0);
        QVERIFY(header);
        QCOMPARE(header->text(QAccessible::Name), QStringLiteral("目录"));

        // The dialogs, each as it shows.
        QStringList seen;
        auto check = [&](QWidget* m) {
            seen << m->windowTitle();
            const QStringList unnamed = unnamedControls(m);
            QVERIFY2(unnamed.isEmpty(), qPrintable(m->windowTitle() + QLatin1String(": ") + unnamed.join(", ")));
            if (auto* d = qobject_cast<QDialog*>(m))
                d->reject();
        };
        ModalScript script;
        for (int i = 0; i < 7; ++i)
            script.then(check);
        qvtest::action(*w, "N1")->trigger();
        w->listView()->selectRow(0);
        qvtest::action(*w, "mmeditinf")->trigger();
        qvtest::action(*w, "mmmoveinf")->trigger();
        qvtest::action(*w, "N12")->trigger();
        qvtest::action(*w, "mmexport")->trigger();
        const std::string ch = g("亍");
        w->findChild<Tfrminputpy*>()->ask(uint8_t(ch[0]), uint8_t(ch[1]));
        showMessage(w.get(), QStringLiteral("好"));
        QVERIFY(script.finished());
        QCOMPARE(seen, QStringList({"增加新信息", "修改信息", "移动到", "关于本软件", "导出数据", "输入陌生字的拼音首字母",
                                    "Qarvenda"}));
        // The progress window of long work.
        auto progress = progressWindow(w.get(), QStringLiteral("正在保存数据库……"));
        progress->show();
        kinds.clear();
        QCOMPARE(unnamedControls(progress.get(), &kinds), QStringList());
        QVERIFY(kinds.contains(QStringLiteral("QProgressBar")));
    }

    void theAboutBoxLinksAreLinks()
    {
        RecordingDesktopOpener opener;
        QWidget parent;
        TForm_about about(opener, &parent);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        about.activateWindow();
        (void)QTest::qWaitForWindowActive(&about);
        for (QLabel* link : {about.Label3, about.Label4}) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(link);
            QVERIFY(a);
            QCOMPARE(a->role(), QAccessible::Link);
            QVERIFY(a->state().focusable);
            QVERIFY(hasChinese(a->text(QAccessible::Name)));
            QVERIFY(a->actionInterface() &&
                    a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        }
        // Tab reaches the home page, then the mail; Enter opens each.
        about.Label3->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(about.Label3));
        QTest::keyClick(about.Label3, Qt::Key_Return);
        QTest::keyClick(about.Label3, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(about.Label4));
        QTest::keyClick(about.Label4, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opener.opened.size(), 2);
        QCOMPARE(opener.opened.value(0), homePageUrl());
        QCOMPARE(opener.opened.value(1), mailUrl());
        // A screen reader's press opens it too.
        QAccessible::queryAccessibleInterface(about.Label3)
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(opener.opened.size(), 3);
        QCOMPARE(opener.opened.value(2), opener.opened.value(0));
    }

    void boxesShowTheirTitleAndSystemTextsEndInChinese()
    {
        QWidget parent;
        ModalScript script;
        int width = 0, titleWidth = 0;
        script.then([&](QWidget* m) {
            width = m->width();
            titleWidth = QFontMetrics(m->font()).horizontalAdvance(m->windowTitle());
            qvtest::clickButton(m, QStringLiteral("确定"));
        });
        showMessage(&parent, QStringLiteral("好"));
        QVERIFY(script.finished());
        QVERIFY2(width >= titleWidth + 100, qPrintable(QStringLiteral("%1 %2").arg(width).arg(titleWidth)));

        const struct {
            const char* in;
            const char* out;
        } texts[] = {
            {"保存失败：权限被拒绝", "保存失败：权限被拒绝。"},
            {"Permission denied", "Permission denied."},
            {"无法打开文件“a.txt”：No such file or directory", "无法打开文件“a.txt”：No such file or directory."},
            {"找不到文件。", "找不到文件。"},
            {"磁盘已满！", "磁盘已满！"},
            {"出错：(5)", "出错：(5)"},
        };
        for (const auto& t : texts)
            QCOMPARE(errorBoxText(QString::fromUtf8(t.in)), QString::fromUtf8(t.out));

        // A letter for 给我写信 and a printer for 打印, not the style's tick and ball.
        for (QStyle::StandardPixmap old : {QStyle::SP_DialogApplyButton, QStyle::SP_DialogYesButton})
            for (const QIcon& icon : {mailIcon(), printerIcon()})
                QVERIFY(icon.pixmap(16, 16).toImage() !=
                        QApplication::style()->standardIcon(old).pixmap(16, 16).toImage());
    }

    void theWindowKeepsItsSizePlaceAndColumns()
    {
        {
            QSettings().clear();
            // The first start: the fixed layout.
            auto w = open();
            QVERIFY(w);
            w->restoreWindowState();
            QCOMPARE(w->listView()->horizontalHeader()->sectionSize(1), 150);
            w->resize(700, 480);
            w->move(40, 30);
            w->listView()->horizontalHeader()->resizeSection(1, 211);
            QTest::qWait(10);
            w->saveWindowState();
        }
        auto w = std::make_unique<Tmainform>(m_db->path());
        w->FormCreate();
        w->restoreWindowState();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->size(), QSize(700, 480));
        QCOMPARE(w->listView()->horizontalHeader()->sectionSize(1), 211);
        QCOMPARE(w->treeView()->width(), w->width() / 4);
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_uitest.moc"
