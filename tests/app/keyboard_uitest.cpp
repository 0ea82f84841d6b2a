// Everyday use by keyboard, mouse and screen reader: where the focus starts,
// the keys of the commands, moving in the list, the dialogs' Enter and Esc,
// the refresh after maintenance, the drop mark, controls named as every
// window shows them, the about box's links and the window state kept between
// runs.
#include "RecordingDesktopOpener.h"
#include "TestImages.h"
#include "UiHelpers.h"
#include "app/Application.h"
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
#include "store/DataUpdate.h"
#include "store/GbkText.h"
#include "store/ui/UpdateDialog.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/DragTypes.h"
#include "widgets/Icons.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
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

// 广东省 (1) with 深圳湾 and 深圳市 (2, forty places p100 to p139); 北京市 (3) with
// two; 亍 learned.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(g("广东省"), 0, 1).dir(g("深圳市"), 1, 2).dir(g("北京市"), 0, 3).end(3).learnedCount(1);
    b.learned(0xD8, 0xA1, 'C');  // 亍
    for (int i = 0; i < 40; ++i)
        b.entry("p" + std::to_string(100 + i), 2, std::to_string(518000 + i), std::to_string(1000 + i));
    b.entry(g("东城区"), 3, "100010", "010").entry(g("西城区"), 3, "100032", "010");
    b.entry(g("深圳湾"), 1, "518067", "0755");
    return b.bytes;
}

// The places p<from> down to p<to>, as a search lists them (by 区号, descending).
QStringList placesDown(int from, int to)
{
    QStringList out;
    for (int i = from; i >= to; --i)
        out << QStringLiteral("p%1").arg(i);
    return out;
}

QStringList listedNames(Tmainform& w) { return listedColumn(w, 1); }

// Presses `key` where the keyboard focus is, as the user does.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, key, modifiers);
}

// Gives `w` the keyboard focus as the window system does when a modal
// window over it closes (the offscreen platform leaves the closed one active).
void activate(QWidget* w)
{
    QApplication::setActiveWindow(w->window());
    w->setFocus();
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

// The caption the screen shows on the control itself, as a reader gets it
// (no mnemonic '&'): a button's text, unless it shows an icon only, or a
// link's; empty when it has none, or nothing to read ("...").
QString captionOf(QWidget* w)
{
    auto* tool = qobject_cast<QToolButton*>(w);
    if (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull())
        return QString();
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        text = b->text().remove(QLatin1Char('&'));
    else if (auto* l = qobject_cast<QLabel*>(w))  // a label that takes the focus is a link
        text = l->text();
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }) ? text : QString();
}

// Whether `w` is read by the visible label that names it, if any: its name
// holds the label's text, or (a list box, named by its value here) the label
// is related to it as its label.
bool namedByItsLabel(QWidget* w, const QString& name, QString* labelText)
{
    for (QLabel* l : w->window()->findChildren<QLabel*>()) {
        if (l->buddy() != w || !l->isVisibleTo(w->window()))
            continue;
        *labelText = l->text().remove(QLatin1Char('&')).remove(QRegularExpression(QStringLiteral("[:：\\s]+$")));
        const auto labels = QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label);
        return name.contains(*labelText) ||
               (qobject_cast<QComboBox*>(w) &&
                std::any_of(labels.begin(), labels.end(), [l](const auto& r) { return r.first->object() == l; }));
    }
    return true;
}

// Every control of `top` (a window or dialog) whose accessible name is not
// what the screen shows: a button or link not named by its caption, a field
// whose name leaves out its label, a control without a caption that has no
// Chinese name, or two focusable controls of one window under one name. The
// kinds of control looked at go to `kinds`.
QStringList misnamedControls(QWidget* top, QSet<QString>* kinds = nullptr)
{
    QStringList out;
    QHash<QString, QWidget*> named;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!isControl(w) || (w->window() != top))
            continue;
        // Read as the one it hands its focus to; a spin box's field as the spin box.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (w->focusProxy() || (!a && w->parentWidget() && w->parentWidget()->focusProxy() == w))
            continue;
        if (kinds)
            kinds->insert(QString::fromLatin1(w->metaObject()->className()));
        const QString name = a ? a->text(QAccessible::Name) : QString();
        const QString caption = captionOf(w);
        QString label, fault;
        if (!caption.isEmpty() && name != caption)
            fault = QStringLiteral("shows '%1'").arg(caption);
        else if (caption.isEmpty() && !namedByItsLabel(w, name, &label))
            fault = QStringLiteral("labelled '%1'").arg(label);
        else if (caption.isEmpty() && label.isEmpty() && !hasChinese(name))
            fault = QStringLiteral("no Chinese name");
        if (fault.isEmpty() && (w->focusPolicy() & Qt::TabFocus)) {
            if (QWidget* other = named.value(name))
                fault = QStringLiteral("named as %1").arg(other->objectName());
            else
                named.insert(name, w);
        }
        if (!fault.isEmpty())
            out << QStringLiteral("%1 %2 '%3' %4")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), name, fault);
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
        // As the program starts: Qt's own dialogs in Chinese.
        setUpChineseUi(*qApp);
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

    // Searching, then on by keys alone: the results stay until a directory
    // is chosen, and Down or a second Enter leads into them.
    void keyPathsFromTheQueryBoxKeepTheResults()
    {
        struct Path {
            const char* typed;
            std::vector<Qt::Key> keys;
            const char* focus;  // "query", "tree" or "list"
            QStringList names;  // what the list shows afterwards
            int listRow;        // the list's current row, also the one selected; -1: none
            const char* marked;  // the directory current in the tree; empty: none
        };
        const Qt::Key Tab = Qt::Key_Tab, Enter = Qt::Key_Return, Down = Qt::Key_Down, Space = Qt::Key_Space;
        const Path paths[] = {
            // Through 查找 into the tree: the first directory is marked, the results stay.
            {"sz", {Enter, Tab, Tab}, "tree", {"深圳湾"}, -1, "广东省"},
            // Enter or Space on the marked directory lists it; moving to another lists that.
            {"p13", {Enter, Tab, Tab, Enter}, "tree", {"深圳湾"}, -1, "广东省"},
            {"p13", {Enter, Tab, Tab, Space}, "tree", {"深圳湾"}, -1, "广东省"},
            {"p13", {Enter, Tab, Tab, Down}, "tree", {"东城区", "西城区"}, -1, "北京市"},
            // Down, or Enter once the results are there, goes into them.
            {"p13", {Enter, Down}, "list", placesDown(139, 130), 0, ""},
            {"p13", {Enter, Enter}, "list", placesDown(139, 130), 0, ""},
            {"p13", {Enter, Down, Down, Down}, "list", placesDown(139, 130), 2, ""},
            // Nothing listed: Down stays in the box; an edited query searches again.
            {"p13", {Down}, "query", {}, -1, ""},
            {"p13", {Enter, Qt::Key_9, Enter}, "query", {"p139"}, -1, ""},
        };
        for (const Path& p : paths) {
            const QString label = QString::fromUtf8(p.typed) + QLatin1Char(' ') + QString::number(p.keys.size());
            auto w = open();
            QVERIFY(w);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->searchBar()->Edit1));
            QTest::keyClicks(w->searchBar()->Edit1, QString::fromUtf8(p.typed));
            for (Qt::Key key : p.keys)
                press(key);
            QWidget* focus = QByteArray(p.focus) == "list"   ? static_cast<QWidget*>(w->listView())
                             : QByteArray(p.focus) == "tree" ? static_cast<QWidget*>(w->treeView())
                                                             : static_cast<QWidget*>(w->searchBar()->Edit1);
            QVERIFY2(QApplication::focusWidget() == focus, qPrintable(label));
            QVERIFY2(listedNames(*w) == p.names, qPrintable(label + QLatin1Char(' ') + listedNames(*w).join(',')));
            QVERIFY2(w->countText() == QStringLiteral("共%1个").arg(p.names.size()), qPrintable(label));
            if (p.listRow >= 0) {
                QVERIFY2(w->listView()->currentIndex().row() == p.listRow, qPrintable(label));
                QVERIFY2(w->listView()->selectedRowsInOrder() == std::vector<int>{p.listRow}, qPrintable(label));
            }
            DirectoryNode* marked = w->treeView()->currentNode();
            QVERIFY2((marked ? gbk::toQString(marked->caption) : QString()) == QString::fromUtf8(p.marked),
                     qPrintable(label));
        }
    }

    // Enter, F2 and Delete act on the row with the focus mark when none is
    // selected; after a delete the row that takes its place is marked and selected.
    void theMarkedRowIsTheOneTheCommandsActOn()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        activate(w->treeView());
        press(Qt::Key_Tab);
        EntryListView* list = w->listView();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
        QCOMPARE(list->currentIndex().row(), 0);
        QVERIFY(list->selectedRowsInOrder().empty());
        // The name the edit dialog shows or the delete question; then the
        // rows, the current row, whether it alone is selected, and its name.
        struct Step {
            Qt::Key key;
            QString shown;
            int rows, current;
            bool selected;
            QString place;
        };
        const QString one = QStringLiteral("你真的要删除所选择的信息吗？\n共1条信息将被删除。");
        const Step steps[] = {
            {Qt::Key_Return, QStringLiteral("p100"), 40, 0, false, QStringLiteral("p100")},
            {Qt::Key_F2, QStringLiteral("p100"), 40, 0, false, QStringLiteral("p100")},
            {Qt::Key_Delete, one, 39, 0, true, QStringLiteral("p101")},
            {Qt::Key_Return, QStringLiteral("p101"), 39, 0, true, QStringLiteral("p101")},
            {Qt::Key_End, QString(), 39, 38, true, QStringLiteral("p139")},
            {Qt::Key_Delete, one, 38, 37, true, QStringLiteral("p138")},
            {Qt::Key_F2, QStringLiteral("p138"), 38, 37, true, QStringLiteral("p138")},
        };
        for (const Step& st : steps) {
            const QString label = QStringLiteral("key %1 -> %2").arg(int(st.key)).arg(st.place);
            QString shown;
            ModalScript script;
            if (st.key == Qt::Key_Delete)
                script.click(QStringLiteral("确定"));
            else if (!st.shown.isEmpty())
                script.then([&](QWidget* m) {
                    auto* d = qobject_cast<TFrmEditInf*>(m);
                    QVERIFY(d);
                    shown = d->Edtmc->text();
                    d->reject();
                });
            activate(list);
            press(st.key);
            QVERIFY2(script.finished(), qPrintable(label));
            if (st.key == Qt::Key_Delete)
                shown = script.texts.value(0);
            QVERIFY2(shown == st.shown, qPrintable(label + QLatin1Char(' ') + shown));
            QVERIFY2(w->listModel()->rowCount() == st.rows, qPrintable(label));
            QVERIFY2(list->currentIndex().row() == st.current, qPrintable(label));
            QVERIFY2(list->selectedRowsInOrder() == (st.selected ? std::vector<int>{st.current} : std::vector<int>{}),
                     qPrintable(label));
            QVERIFY2(w->listModel()->index(st.current, 1).data().toString() == st.place, qPrintable(label));
        }
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

    void everyControlIsNamedAsTheScreenShowsIt()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QSet<QString> kinds;
        QCOMPARE(misnamedControls(w.get(), &kinds), QStringList());
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

        // The dialogs, each as it shows; fields without a caption named for what they ask.
        const QMap<QString, QList<QPair<QString, QString>>> asks = {
            {QStringLiteral("输入陌生字的拼音首字母"), {{"Edit1", "“亍”的拼音首字母"}}},
            {QStringLiteral("拼音首字母"), {{"Edit1", "“亍”的首字母"}}},
            {QStringLiteral("打印机设置"), {{"from", "起始页"}, {"to", "结束页"}, {"pagesLineEdit", "要打印的页码"}}},
        };
        QStringList seen;
        auto check = [&](QWidget* m) {
            seen << m->windowTitle();
            // Qt's print set-up shows its options (the page range among them) on request.
            for (QPushButton* more : m->findChildren<QPushButton*>())
                if (more->text().endsWith(QLatin1String(">>")))
                    more->click();
            const QStringList misnamed = misnamedControls(m);
            QVERIFY2(misnamed.isEmpty(), qPrintable(m->windowTitle() + QLatin1String(": ") + misnamed.join(", ")));
            for (const auto& [object, name] : asks.value(m->windowTitle())) {
                auto* field = m->findChild<QWidget*>(object);
                QVERIFY2(field, qPrintable(object));
                QCOMPARE(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), name);
            }
            static_cast<QDialog*>(m)->reject();
        };
        ModalScript script;
        for (int i = 0; i < 9; ++i)
            script.then(check);
        qvtest::action(*w, "N1")->trigger();
        w->listView()->selectRow(0);
        qvtest::action(*w, "mmeditinf")->trigger();
        qvtest::action(*w, "mmmoveinf")->trigger();
        qvtest::action(*w, "N12")->trigger();
        qvtest::action(*w, "mmexport")->trigger();
        const std::string ch = g("亍");
        w->findChild<Tfrminputpy*>()->ask(uint8_t(ch[0]), uint8_t(ch[1]));
        qvtest::action(*w, "mmpyszm")->trigger();
        qvtest::action(*w, "mmprintset")->trigger();
        showMessage(w.get(), QStringLiteral("好"));
        QVERIFY(script.finished());
        QCOMPARE(seen, QStringList({"增加新信息", "修改信息", "移动到", "关于本软件", "导出数据",
                                    "输入陌生字的拼音首字母", "拼音首字母", "打印机设置", "Qarvenda"}));
        // 更新数据, on a bundle whose 东城区 has another postcode.
        Database theirs;
        theirs.loadImage(
            ImageBuilder().dir(g("北京市"), 0, 3).end(3).learnedCount(0).entry(g("东城区"), 3, "1", "0").bytes);
        UpdatePlan plan = planUpdate(nullptr, w->database(), theirs);
        UpdateDialog update(plan, w.get());
        update.show();
        check(&update);
        // The progress window of long work.
        auto progress = progressWindow(w.get(), QStringLiteral("正在保存数据库……"));
        progress->show();
        kinds.clear();
        QCOMPARE(misnamedControls(progress.get(), &kinds), QStringList());
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
            QCOMPARE(a->text(QAccessible::Name), link->text());  // as the screen shows it
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

    // The columns share the list's width, with room for the longest bundled
    // names, until the user sets a width; the header's menu and Ctrl++ / Ctrl+0
    // set them by content or share again. The size, place and widths set are kept.
    void theWindowKeepsItsSizePlaceAndColumns()
    {
        {
            QSettings().clear();
            auto w = open();
            QVERIFY(w);
            w->restoreWindowState();
            EntryListView* list = w->listView();
            QHeaderView* h = list->horizontalHeader();
            const QFontMetrics fm(list->font());
            auto sum = [h] { return h->sectionSize(0) + h->sectionSize(1) + h->sectionSize(2) + h->sectionSize(3); };
            for (const QSize size : {QSize(1920, 1080), QSize(1280, 720), QSize(800, 600), QSize(700, 480)}) {
                w->resize(size);
                QCoreApplication::processEvents();
                const QString label = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
                QVERIFY2(sum() == list->viewport()->width(), qPrintable(label));
                // No column takes most of the room.
                QVERIFY2(h->sectionSize(3) < h->sectionSize(1), qPrintable(label));
                if (size.width() >= 800) {
                    QVERIFY2(h->sectionSize(0) >= fm.horizontalAdvance(QStringLiteral("克孜勒苏柯尔克孜自治州")) + 20,
                             qPrintable(label));
                    QVERIFY2(h->sectionSize(1) >= fm.horizontalAdvance(QStringLiteral("孟连傣族拉祜族佤族自治县")),
                             qPrintable(label));
                }
                // The query box shows its placeholder whole; the first button keeps off the edge.
                QLineEdit* query = w->searchBar()->Edit1;
                QVERIFY2(query->width() > query->fontMetrics().horizontalAdvance(query->placeholderText()) + 4,
                         qPrintable(label));
                QVERIFY2(w->searchBar()->jq->mapTo(w.get(), QPoint(0, 0)).x() >= 4, qPrintable(label));
            }
            // Ctrl++ fits the columns to the places shown, Ctrl+0 shares the width again.
            clickNode(*w, findNode(*w, "深圳市"));
            const int shared = h->sectionSize(1);
            activate(list);
            press(Qt::Key_Plus, Qt::ControlModifier);
            QVERIFY(!list->columnsFollowWidth());
            QVERIFY(h->sectionSize(1) < shared);
            QVERIFY(h->sectionSize(1) >= fm.horizontalAdvance(QStringLiteral("p139")));
            press(Qt::Key_0, Qt::ControlModifier);
            QVERIFY(list->columnsFollowWidth());
            QCOMPARE(h->sectionSize(1), shared);
            // The same two from the header's context menu.
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), h->viewport()->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(h->viewport(), &event);
            auto* menu = list->findChild<QMenu*>(QStringLiteral("HeaderMenu"));
            QVERIFY(menu && menu->isVisible());
            QCOMPARE(menu->actions(), list->columnActions());
            QCOMPARE(menu->actions().value(0)->text(), QStringLiteral("自动调整列宽"));
            menu->hide();
            // A width the user sets stays, whatever the window's size.
            w->resize(700, 480);
            w->move(40, 30);
            h->resizeSection(1, 211);
            w->resize(760, 480);
            QCoreApplication::processEvents();
            QCOMPARE(h->sectionSize(1), 211);
            w->resize(700, 480);
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
