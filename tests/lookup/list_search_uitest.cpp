// The entry list and the search bar as the user works them: listing a
// directory, sorting by header clicks, the search and its options in the bar
// and the menu, and the models under a model tester.
#include "widgets/Icons.h"
#include "app/Tmainform.h"
#include "lookup/ui/SearchBar.h"
#include "entries/ui/EntryCommands.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeView.h"
#include "lookup/ui/DirectoryHits.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "store/GbkText.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "TestImages.h"
#include "UiHelpers.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QTest>
#include <QToolButton>

using namespace qv;
using qvtest::clickNode;
using qvtest::findNode;
using qvtest::ImageBuilder;
using qvtest::ModalScript;
using qvtest::TempDatabase;

namespace {

std::string g(const char* utf8) { return qvtest::gbk(utf8); }

// 广东省 (1) with 深圳市 (2) and 广州市 (3); 北京市 (4); 上海市 (5), empty.
// Directory 6 existed once: its entry is still live, with no directory.
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(g("广东省"), 0, 1).dir(g("深圳市"), 1, 2).dir(g("广州市"), 1, 3);
    b.dir(g("北京市"), 0, 4).dir(g("上海市"), 0, 5).end(6).learnedCount(0);
    b.entry(g("福田区"), 2, "518048", "0755");
    b.entry(g("广东省直属"), 1, "510000", "0766");
    b.entry(g("南山区"), 2, "518052", "0752");
    b.entry(g("龙岗区"), -2, "518172", "0750");
    b.entry(g("天河区"), 3, "510630", "020");
    b.entry(g("宝安区"), 2, "518101", "0760");
    b.entry(g("东城区"), 4, "100010", "010");
    b.entry(g("孤岛"), 6, "999999", "0999");
    b.entry(g("西城区"), 4, "100032", "010");
    return b.bytes;
}

void clickHeader(Tmainform& w, int column)
{
    QHeaderView* h = w.listView()->horizontalHeader();
    const QPoint p(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
}

// The texts of one column, top to bottom.
QStringList column(Tmainform& w, int c) { return qvtest::listedColumn(w, c); }
QStringList names(Tmainform& w) { return column(w, 1); }
QStringList areas(Tmainform& w) { return column(w, 2); }

QList<int> indicators(Tmainform& w)
{
    QList<int> out;
    for (int c = 0; c < 4; ++c)
        out << w.listModel()->indicator(c);
    return out;
}

// The order as the 排序 menu ticks it and as a screen reader is told it:
// ticked items, header cells that describe an order, the list's description.
QString sortState(Tmainform& w)
{
    QStringList out;
    for (const char* name : {"mmsortowner", "mmsortname", "mmsortarea", "mmsortpost", "mmsortasc", "mmsortdesc"})
        if (qvtest::action(w, QString::fromLatin1(name))->isChecked())
            out << QString::fromLatin1(name);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(w.listView());
    for (int i = 0; table && i < table->childCount(); ++i) {
        QAccessibleInterface* cell = table->child(i);
        if (cell && cell->role() == QAccessible::ColumnHeader && !cell->text(QAccessible::Description).isEmpty())
            out << cell->text(QAccessible::Name) + QLatin1Char(':') + cell->text(QAccessible::Description);
    }
    out << (table ? table->text(QAccessible::Description) : QString());
    return out.join(QLatin1Char(' '));
}

// Presses `keys` in the open menu, else in the focused widget; Qt::Key_Menu is the
// keyboard's context-menu request. False when no menu opened (keys would go astray).
bool pressKeys(const std::vector<QKeyCombination>& keys)
{
    for (QKeyCombination k : keys) {
        QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
        if (!to)
            return false;
        if (k.key() == Qt::Key_Menu) {
            const QPoint at = to->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
            QContextMenuEvent request(QContextMenuEvent::Keyboard, at, to->mapToGlobal(at));
            QApplication::sendEvent(to, &request);
            if (!QApplication::activePopupWidget())
                return false;
            continue;
        }
        QTest::keyClick(to, k.key(), k.keyboardModifiers());
    }
    return true;
}

void search(Tmainform& w, const QString& query)
{
    w.searchBar()->Edit1->setText(query);
    QTest::mouseClick(w.searchBar()->Button_search, Qt::LeftButton);
}

// Which mode and fields the bar and the menu show: they must always agree.
struct Options {
    bool exact, fuzzy, name, initials, post, area;
    bool operator==(const Options& o) const
    {
        return exact == o.exact && fuzzy == o.fuzzy && name == o.name && initials == o.initials && post == o.post &&
               area == o.area;
    }
};
Options bar(Tmainform& w)
{
    return {w.searchBar()->jq->isChecked(),     w.searchBar()->mh->isChecked(),     w.searchBar()->ckdqmc->isChecked(),
            w.searchBar()->ckdqpy->isChecked(), w.searchBar()->ckyzbm->isChecked(), w.searchBar()->ckdhqh->isChecked()};
}
Options menu(Tmainform& w)
{
    auto on = [&](const char* n) { return qvtest::action(w, QString::fromLatin1(n))->isChecked(); };
    return {on("mmjq"), on("mmmh"), on("mmdqmc"), on("mmdqpy"), on("mmyzbm"), on("mmdhqh")};
}
char* toString(const Options& o)
{
    return QTest::toString(QStringLiteral("jq=%1 mh=%2 mc=%3 py=%4 yb=%5 qh=%6")
                               .arg(o.exact)
                               .arg(o.fuzzy)
                               .arg(o.name)
                               .arg(o.initials)
                               .arg(o.post)
                               .arg(o.area));
}

}  // namespace

class ListSearchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDatabase> m_db;

    std::unique_ptr<Tmainform> open(const std::vector<uint8_t>& image = sampleImage())
    {
        return qvtest::openOnImage(m_db, image);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }
    void cleanupTestCase() { QSettings().clear(); }

    // 按匹配程度排序: best match first, no header arrow, remembered for the
    // next window; a header click still sorts by its column; 按区号排序 again
    // gives the area-code order.
    void theOrderByRelevanceIsChosenInTheMenuAndKept()
    {
        auto w = open();
        QVERIFY(w);
        QVERIFY(qvtest::action(*w, QStringLiteral("mmsortcode"))->isChecked());
        qvtest::action(*w, QStringLiteral("mmsortrelevance"))->trigger();
        QVERIFY(!qvtest::action(*w, QStringLiteral("mmsortcode"))->isChecked());
        // The mode pair is a group of its own.
        QVERIFY(qvtest::action(*w, QStringLiteral("mmmh"))->isChecked());
        const struct {
            const char* query;
            QStringList names;
        } cases[] = {
            // The whole name first, then names that begin with the query, then the rest.
            {"福田区", {"福田区"}},
            {"nan", {"南山区"}},
            {"区", {"东城区", "西城区", "天河区", "南山区", "福田区", "宝安区"}},
            {"chengqu", {"东城区", "西城区"}},
            {"ｄｏｎｇ　ｃｈｅｎｇ", {"东城区"}},
        };
        for (const auto& c : cases) {
            search(*w, QString::fromUtf8(c.query));
            QCOMPARE(names(*w), c.names);
            QCOMPARE(indicators(*w), QList<int>({-1, -1, -1, -1}));
            // No column is ticked, and no direction can be chosen without one.
            QCOMPARE(sortState(*w), QStringLiteral("按匹配程度排序"));
            QVERIFY(!qvtest::action(*w, QStringLiteral("mmsortdesc"))->isEnabled());
        }
        search(*w, QStringLiteral("0"));
        QCOMPARE(names(*w).first(), QStringLiteral("孤岛"));  // the shortest name
        clickHeader(*w, 2);
        QCOMPARE(areas(*w).first(), QStringLiteral("010"));
        QCOMPARE(indicators(*w).at(2), kImageSortUp);
        clickHeader(*w, 2);
        QCOMPARE(areas(*w).first(), QStringLiteral("0999"));
        // Once a column orders the results, 升序 turns them round.
        qvtest::action(*w, QStringLiteral("mmsortasc"))->trigger();
        QCOMPARE(areas(*w).first(), QStringLiteral("010"));

        w.reset();
        w = open();
        QVERIFY(qvtest::action(*w, QStringLiteral("mmsortrelevance"))->isChecked());
        qvtest::action(*w, QStringLiteral("mmsortcode"))->trigger();
        search(*w, QStringLiteral("区"));
        QCOMPARE(areas(*w).first(), QStringLiteral("0760"));
        w.reset();
        w = open();
        QVERIFY(qvtest::action(*w, QStringLiteral("mmsortcode"))->isChecked());
    }

    // A search shows the directories it matches by name or pinyin above the
    // list, apart from its rows; choosing one opens it in the tree and lists it.
    void directoriesFoundAreOpenedWhenChosen()
    {
        auto w = open();
        QVERIFY(w);
        DirectoryHits* hits = w->directoryHits();
        const struct {
            const char* query;
            QStringList directories;  // captions shown
        } cases[] = {
            {"广东", {"广东省"}},
            {"guangdong", {"广东省"}},
            {"廣東", {"广东省"}},
            {"shenzhen", {"深圳市"}},
            {"gz", {"广州市"}},
            {"东城", {}},
        };
        for (const auto& c : cases) {
            search(*w, QString::fromUtf8(c.query));
            QStringList shown;
            for (int32_t id : hits->ids())
                shown << gbk::toQString(w->database().tree.findById(id)->caption);
            QCOMPARE(shown, c.directories);
            QCOMPARE(hits->isVisibleTo(w.get()), !c.directories.isEmpty());
        }
        search(*w, QStringLiteral("shenzhen"));
        QVERIFY(!names(*w).contains(QStringLiteral("深圳市")));  // no place row for a directory
        hits->choose(0);
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "深圳市"));
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
        QVERIFY(!hits->isVisibleTo(w.get()));
        // The directory selected already is listed all the same.
        search(*w, QStringLiteral("shenzhen"));
        hits->choose(0);
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
    }

    void ctrlCCopiesTheSelectedRowsAsATable()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        w->listView()->setFocus();
        // Rows 2 and 0 selected: copied top to bottom in the list's order.
        w->listView()->selectionModel()->select(w->listModel()->index(2, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w->listView()->selectionModel()->select(w->listModel()->index(0, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(w->listView(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("深圳市\t南山区\t0752\t518052\n深圳市\t宝安区\t0760\t518101\n"));
        // With nothing selected the clipboard keeps what it had.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        w->listView()->clearSelection();
        QTest::keyClick(w->listView(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

        // A large selection is put together beside the event loop; every row arrives, in order.
        ImageBuilder big;
        big.dir(g("深圳市"), 0, 1).end(2).learnedCount(0);
        const int count = 60000;
        for (int i = 0; i < count; ++i)
            big.entry(g("区") + std::to_string(100000 + i), 1, std::to_string(500000 + i), "0755");
        w = open(big.bytes);
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QCOMPARE(w->listModel()->count(), count);
        w->listView()->setFocus();
        w->listModel()->columnClicked(1);  // 地区名称 ascending, then descending
        w->listModel()->columnClicked(1);
        QTest::keyClick(w->listView(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w->listView(), Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), count + 1);
        QCOMPARE(lines.first(), QStringLiteral("深圳市\t区%1\t0755\t%2").arg(100000 + count - 1).arg(500000 + count - 1));
        QCOMPARE(lines.at(count - 1), QStringLiteral("深圳市\t区100000\t0755\t500000"));
        QVERIFY(lines.last().isEmpty());
    }

    void selectingADirectoryListsItsLiveEntriesByAreaCode()
    {
        auto w = open();
        QVERIFY(w);
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
        QCOMPARE(w->listModel()->rowCount(), 0);
        clickNode(*w, findNode(*w, "深圳市"));
        // Not the deleted 龙岗区, not the parent's entry; ascending by 区号.
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
        QCOMPARE(areas(*w), QStringList({"0752", "0755", "0760"}));
        QCOMPARE(column(*w, 0), QStringList({"深圳市", "深圳市", "深圳市"}));
        QCOMPARE(column(*w, 3), QStringList({"518052", "518048", "518101"}));
        QCOMPARE(w->countText(), QStringLiteral("共3个"));
        // The header shows the listing's order.
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortUp, -1}));

        clickNode(*w, findNode(*w, "广东省"));
        QCOMPARE(names(*w), QStringList({"广东省直属"}));
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        clickNode(*w, findNode(*w, "上海市"));
        QCOMPARE(w->listModel()->rowCount(), 0);
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
    }

    void theTreeTakingTheKeyboardFocusMarksWithoutListing()
    {
        auto w = open();
        QVERIFY(w);
        QVERIFY(!w->treeView()->currentNode());
        search(*w, QStringLiteral("0755"));
        w->treeView()->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        // The directory marked is the one the commands act on; the list keeps the results.
        DirectoryNode* gd = findNode(*w, "广东省");
        QCOMPARE(names(*w), QStringList({"福田区"}));
        QCOMPARE(w->treeView()->currentNode(), gd);
        ModalScript script;
        script.click(QStringLiteral("取消"));
        qvtest::action(*w, "N1")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.titles.value(0), QStringLiteral("增加新信息"));
        QCOMPARE(names(*w), QStringList({"福田区"}));
        // Enter lists the marked directory; moving to another lists that one.
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        QCOMPARE(names(*w), QStringList({"广东省直属"}));
        QTest::keyClick(w->treeView(), Qt::Key_Down);
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "北京市"));
        QCOMPARE(names(*w), QStringList({"东城区", "西城区"}));
    }

    void headerClicksFollowTheHeaderPicture()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        clickHeader(*w, 1);
        QCOMPARE(names(*w), QStringList({"宝安区", "福田区", "南山区"}));
        QCOMPARE(indicators(*w), QList<int>({-1, kImageSortUp, -1, -1}));
        clickHeader(*w, 1);
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
        QCOMPARE(indicators(*w), QList<int>({-1, kImageSortDown, -1, -1}));
        clickHeader(*w, 1);
        QCOMPARE(names(*w), QStringList({"宝安区", "福田区", "南山区"}));
        // Another column starts ascending.
        clickHeader(*w, 2);
        QCOMPARE(areas(*w), QStringList({"0752", "0755", "0760"}));
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortUp, -1}));
        QCOMPARE(w->listView()->horizontalHeader()->model()->headerData(2, Qt::Horizontal, Qt::DecorationRole)
                     .value<QIcon>()
                     .cacheKey(),
                 imageListIcon(kImageSortUp).cacheKey());
        QVERIFY(w->listModel()->headerData(1, Qt::Horizontal, Qt::DecorationRole).isNull());
    }

    // 信息 › 排序 and the list's context menu: by keys, by their shortcuts or
    // through the menus; the ticks and what a screen reader is told follow
    // every change of order, a header click's included.
    void theOrderIsChosenByKeyboardAndToldToScreenReaders()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->listView()->setFocus();
        const auto ctrl = [](Qt::Key k) { return QKeyCombination(Qt::ControlModifier, k); };
        const QKeyCombination menuKey(Qt::Key_Menu), up(Qt::Key_Up), down(Qt::Key_Down), right(Qt::Key_Right),
            enter(Qt::Key_Return);
        struct Step {
            std::vector<QKeyCombination> keys;  // none: a click on the header of `click`
            int click;
            int column;  // the column whose texts are checked
            QStringList texts;
            const char* state;
        };
        const Step steps[] = {
            {{}, -1, 2, {"0752", "0755", "0760"}, "mmsortarea mmsortasc 区号:按区号升序排序 按区号升序排序"},
            {{ctrl(Qt::Key_2)}, -1, 1, {"宝安区", "福田区", "南山区"},
             "mmsortname mmsortasc 地区名称:按地区名称升序排序 按地区名称升序排序"},
            // The same column again reverses the order, as a second click on its header does.
            {{ctrl(Qt::Key_2)}, -1, 1, {"南山区", "福田区", "宝安区"},
             "mmsortname mmsortdesc 地区名称:按地区名称降序排序 按地区名称降序排序"},
            // 排序 is the third item from the end of the context menu, before
            // the column widths; 升序 follows the four columns.
            {{menuKey, up, up, up, right, down, down, down, down, enter}, -1, 1, {"宝安区", "福田区", "南山区"},
             "mmsortname mmsortasc 地区名称:按地区名称升序排序 按地区名称升序排序"},
            {{ctrl(Qt::Key_4)}, -1, 3, {"518048", "518052", "518101"},
             "mmsortpost mmsortasc 邮编(时差):按邮编(时差)升序排序 按邮编(时差)升序排序"},
            {{}, 2, 2, {"0752", "0755", "0760"}, "mmsortarea mmsortasc 区号:按区号升序排序 按区号升序排序"},
            {{menuKey, up, up, up, right, up, enter}, -1, 2, {"0760", "0755", "0752"},
             "mmsortarea mmsortdesc 区号:按区号降序排序 按区号降序排序"},
            // 所属 by the menu: every row shares it, the order stays.
            {{menuKey, up, up, up, right, enter}, -1, 2, {"0760", "0755", "0752"},
             "mmsortowner mmsortasc 所属:按所属升序排序 按所属升序排序"},
        };
        for (const Step& s : steps) {
            if (s.keys.empty() && s.click >= 0)
                clickHeader(*w, s.click);
            QVERIFY(pressKeys(s.keys));
            QCOMPARE(column(*w, s.column), s.texts);
            QCOMPARE(sortState(*w), QString::fromUtf8(s.state));
            QVERIFY(QApplication::activePopupWidget() == nullptr);
        }
        // The header widget holds the same order.
        QCOMPARE(w->listView()->horizontalHeader()->sortIndicatorSection(), 0);
        QCOMPARE(w->listView()->horizontalHeader()->accessibleDescription(), QStringLiteral("按所属升序排序"));
    }

    void aFirstClickOnAreaCodeSortsDescending()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        clickHeader(*w, 2);
        QCOMPARE(areas(*w), QStringList({"0760", "0755", "0752"}));
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortDown, -1}));
    }

    void afterASearchAreaCodeStillFollowsItsPicture()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        clickHeader(*w, 1);
        clickHeader(*w, 2);
        QCOMPARE(areas(*w), QStringList({"0752", "0755", "0760"}));
        // The search leaves its results descending by 区号, and the header says so.
        search(*w, QStringLiteral("区"));
        QCOMPARE(areas(*w), QStringList({"0760", "0755", "0752", "020", "010", "010"}));
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortDown, -1}));
        // The header shows the descending picture, so the click sorts ascending.
        clickHeader(*w, 2);
        QCOMPARE(areas(*w), QStringList({"010", "010", "020", "0752", "0755", "0760"}));
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortUp, -1}));
        // A listing after a sort by name shows its own order again.
        clickHeader(*w, 1);
        clickNode(*w, findNode(*w, "广东省"));
        clickNode(*w, findNode(*w, "深圳市"));
        QCOMPARE(areas(*w), QStringList({"0752", "0755", "0760"}));
        QCOMPARE(indicators(*w), QList<int>({-1, -1, kImageSortUp, -1}));
    }

    void sortingByOwnerAfterAListingMovesNothing()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        const QStringList before = names(*w);
        clickHeader(*w, 0);
        QCOMPARE(names(*w), before);
        QCOMPARE(indicators(*w), QList<int>({kImageSortUp, -1, -1, -1}));
        QCOMPARE(w->listModel()->sortColumn(), 0);
    }

    // A directory renamed in the tree shows its new name at once in every
    // listed row it owns, a listing's or a search's, sorted by 所属 or not.
    void renamingADirectoryShowsInTheListedRowsAtOnce()
    {
        const struct {
            const char* listed;  // a directory, or a query after "?"
            int sortColumn;      // a header clicked first, or -1
            const char* renamed;
            const char* to;
            QStringList owners;  // column 0 afterwards
        } cases[] = {
            {"深圳市", -1, "深圳市", "鹏城", {"鹏城", "鹏城", "鹏城"}},
            {"深圳市", -1, "上海市", "沪", {"深圳市", "深圳市", "深圳市"}},
            {"?0", -1, "深圳市", "鹏城", {"", "广东省", "鹏城", "鹏城", "鹏城", "广州市", "北京市", "北京市"}},
            {"?0", 0, "北京市", "首都", {"", "广东省", "广州市", "深圳市", "深圳市", "深圳市", "首都", "首都"}},
        };
        for (const auto& c : cases) {
            auto w = open();
            QVERIFY(w);
            const QString listed = QString::fromUtf8(c.listed);
            if (listed.startsWith(QLatin1Char('?')))
                search(*w, listed.mid(1));
            else
                clickNode(*w, findNode(*w, c.listed));
            if (c.sortColumn >= 0)
                clickHeader(*w, c.sortColumn);
            const int count = w->listModel()->rowCount();
            // Edited in place, as F2 or a second click does, without choosing it.
            DirectoryNode* node = findNode(*w, c.renamed);
            w->treeView()->edit(w->treeModel()->indexOf(node));
            qvtest::typeCaption(*w, QString::fromUtf8(c.to));
            QTRY_COMPARE(node->caption, g(c.to));
            QCOMPARE(column(*w, 0), c.owners);
            QCOMPARE(w->listModel()->rowCount(), count);
        }
    }

    void theBarAndTheMenuShowTheSameOptions()
    {
        auto w = open();
        QVERIFY(w);
        QAction* mmjq = qvtest::action(*w, QStringLiteral("mmjq"));
        QAction* mmmh = qvtest::action(*w, QStringLiteral("mmmh"));
        const Options start{false, true, true, true, true, true};
        QCOMPARE(bar(*w), start);
        QCOMPARE(menu(*w), start);

        QTest::mouseClick(w->searchBar()->jq, Qt::LeftButton);
        QCOMPARE(bar(*w), (Options{true, false, true, true, true, true}));
        QCOMPARE(menu(*w), bar(*w));
        QTest::mouseClick(w->searchBar()->mh, Qt::LeftButton);
        QCOMPARE(bar(*w), start);
        QCOMPARE(menu(*w), start);

        mmjq->trigger();
        QCOMPARE(menu(*w), (Options{true, false, true, true, true, true}));
        QCOMPARE(bar(*w), menu(*w));
        // The menu's modes are a radio pair: choosing the checked one keeps it,
        // in the menu and in the bar, and the search still finds.
        const Options exact{true, false, true, true, true, true};
        mmjq->trigger();
        QCOMPARE(menu(*w), exact);
        QCOMPARE(bar(*w), exact);
        search(*w, QStringLiteral("0755"));
        QCOMPARE(names(*w), QStringList({"福田区"}));
        QTest::mouseClick(w->searchBar()->mh, Qt::LeftButton);
        mmmh->trigger();
        QCOMPARE(bar(*w), start);
        QCOMPARE(menu(*w), start);
        search(*w, QStringLiteral("0755"));
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        QTest::mouseClick(w->searchBar()->jq, Qt::LeftButton);
        QCOMPARE(bar(*w), exact);
        mmmh->trigger();
        QCOMPARE(bar(*w), start);
        QCOMPARE(menu(*w), start);

        // The field switches, both ways.
        QCheckBox* boxes[] = {w->searchBar()->ckdqmc, w->searchBar()->ckdqpy, w->searchBar()->ckyzbm, w->searchBar()->ckdhqh};
        const char* items[] = {"mmdqmc", "mmdqpy", "mmyzbm", "mmdhqh"};
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(boxes[i], Qt::LeftButton);
            QVERIFY(!boxes[i]->isChecked());
            QCOMPARE(menu(*w), bar(*w));
            qvtest::action(*w, QString::fromLatin1(items[i]))->trigger();
            QVERIFY(boxes[i]->isChecked());
            QCOMPARE(menu(*w), bar(*w));
            qvtest::action(*w, QString::fromLatin1(items[i]))->trigger();
            QVERIFY(!boxes[i]->isChecked());
            QCOMPARE(menu(*w), bar(*w));
        }
        // All four off: nothing is found.
        search(*w, QStringLiteral("0"));
        QCOMPARE(w->listModel()->rowCount(), 0);
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
        QTest::mouseClick(w->searchBar()->ckyzbm, Qt::LeftButton);
        QCOMPARE(menu(*w), (Options{false, true, false, false, true, false}));
        search(*w, QStringLiteral("100010"));
        QCOMPARE(names(*w), QStringList({"东城区"}));
    }

    void aBlankQueryIsRefusedAndTheListStays()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        const QStringList before = names(*w);
        ModalScript script;
        script.click(QStringLiteral("确定")).click(QStringLiteral("确定"));
        QTest::keyClicks(w->searchBar()->Edit1, QStringLiteral("   "));
        QTest::mouseClick(w->searchBar()->Button_search, Qt::LeftButton);
        qvtest::action(*w, QStringLiteral("mmsearch"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts, QStringList({"请输入关键字！", "请输入关键字！"}));
        QCOMPARE(script.titles.value(0), QStringLiteral("Qarvenda"));
        QCOMPARE(script.icons.value(0), QStringLiteral("none"));
        QCOMPARE(names(*w), before);
        QCOMPARE(w->countText(), QStringLiteral("共3个"));
        // A full-width blank is a character like any other: searched, nothing found.
        w->searchBar()->Edit1->setText(QStringLiteral("\u3000"));
        w->searchBar()->Button_search->click();
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
    }

    void enterInTheQueryBoxSearches()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        QTest::keyClicks(w->searchBar()->Edit1, QStringLiteral("010"));
        // Typing alone does not search.
        QCOMPARE(w->countText(), QStringLiteral("共3个"));
        QTest::keyClick(w->searchBar()->Edit1, Qt::Key_Return);
        QCOMPARE(names(*w).size(), 2);
        QVERIFY(names(*w).contains(QStringLiteral("东城区")));
        QVERIFY(names(*w).contains(QStringLiteral("西城区")));
        QCOMPARE(w->countText(), QStringLiteral("共2个"));
        w->searchBar()->Edit1->clear();
        QTest::keyClicks(w->searchBar()->Edit1, QStringLiteral("0755"));
        QTest::keyClick(w->searchBar()->Edit1, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(names(*w), QStringList({"福田区"}));
        w->searchBar()->Edit1->clear();
        QTest::keyClicks(w->searchBar()->Edit1, QStringLiteral("0760"));
        QTest::keyClick(w->searchBar()->Edit1, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(names(*w), QStringList({"宝安区"}));
    }

    void searchFindsEveryDirectoryButNoDeletedEntry()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        for (QCheckBox* c : {w->searchBar()->ckdqmc, w->searchBar()->ckdqpy, w->searchBar()->ckyzbm})
            QTest::mouseClick(c, Qt::LeftButton);
        search(*w, QStringLiteral("0"));
        QCOMPARE(w->countText(), QStringLiteral("共8个"));
        QVERIFY(!names(*w).contains(QStringLiteral("龙岗区")));
        QCOMPARE(areas(*w), QStringList({"0999", "0766", "0760", "0755", "0752", "020", "010", "010"}));
        // Each with its directory's name; the one whose directory is gone with none.
        QCOMPARE(column(*w, 0).mid(0, 6), QStringList({"", "广东省", "深圳市", "深圳市", "深圳市", "广州市"}));
        QCOMPARE(names(*w).mid(0, 6), QStringList({"孤岛", "广东省直属", "宝安区", "福田区", "南山区", "天河区"}));
        QCOMPARE(column(*w, 0).mid(6), QStringList({"北京市", "北京市"}));
    }

    void theDirectorySelectedBeforeASearchIsNotListedAgain()
    {
        auto w = open();
        QVERIFY(w);
        DirectoryNode* sz = findNode(*w, "深圳市");
        clickNode(*w, sz);
        search(*w, QStringLiteral("北京"));
        QCOMPARE(w->listModel()->rowCount(), 0);
        search(*w, QStringLiteral("dc"));
        QCOMPARE(names(*w), QStringList({"东城区"}));
        clickNode(*w, sz);
        QCOMPARE(names(*w), QStringList({"东城区"}));
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        clickNode(*w, findNode(*w, "北京市"));
        QCOMPARE(w->countText(), QStringLiteral("共2个"));
        clickNode(*w, sz);
        QCOMPARE(names(*w), QStringList({"南山区", "福田区", "宝安区"}));
    }

    void anAddedPlaceIsReadFromTheImageItWentTo()
    {
        // A full image grows into a new buffer rather than move the bytes the
        // list reads; the list then follows it and shows the place from it.
        auto w = open();
        QVERIFY(w);
        w->database().image.bytes().shrink_to_fit();
        clickNode(*w, findNode(*w, "北京市"));
        const int before = w->listModel()->rowCount();
        w->entryCommands()->AppendInf(findNode(*w, "北京市"), EntryText{"newplace", "010", "100099"});
        QCOMPARE(w->listModel()->rowCount(), before + 1);
        QVERIFY(w->listModel()->rowSet().rows.image().sameBytes(w->database().image.ref()));
        const int r = int(names(*w).indexOf(QStringLiteral("newplace")));
        QVERIFY(r >= 0);
        QVERIFY(!w->listModel()->rowSet().rows.hasOwnTexts(size_t(r)));
    }

    void modelsStayConsistentThroughEveryChange()
    {
        // A directory with many entries, so that removing scattered rows takes
        // the list's one-pass way as well as the run-by-run one.
        ImageBuilder b;
        b.dir(g("广东省"), 0, 1).dir(g("深圳市"), 1, 2).dir(g("广州市"), 1, 3);
        b.dir(g("北京市"), 0, 4).dir(g("多地"), 0, 5).end(5).learnedCount(0);
        b.entry(g("福田区"), 2, "518048", "0755").entry(g("南山区"), 2, "518052", "0752");
        b.entry(g("天河区"), 3, "510630", "020").entry(g("东城区"), 4, "100010", "010");
        for (int i = 0; i < 200; ++i)
            b.entry("p" + std::to_string(1000 + i), 5, std::to_string(100000 + i), std::to_string(10000 + i));
        auto w = open(b.bytes);
        QVERIFY(w);
        QAbstractItemModelTester listTester(w->listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester treeTester(w->treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);

        // Listing and sorting.
        clickNode(*w, findNode(*w, "多地"));
        QCOMPARE(w->listModel()->rowCount(), 200);
        w->listView()->selectRow(7);
        const int32_t selectedPos = w->listModel()->row(7).position;
        clickHeader(*w, 2);
        clickHeader(*w, 1);
        // The selection stays on its row through the sorts.
        QCOMPARE(w->listView()->selectedRowsInOrder().size(), size_t(1));
        QCOMPARE(w->listModel()->row(w->listView()->topSelectedRow()).position, selectedPos);

        // Removing every other row: scattered rows all at once.
        w->listView()->clearSelection();
        for (int r = 0; r < 200; r += 2)
            w->listView()->selectionModel()->select(w->listModel()->index(r, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelinf")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->listModel()->rowCount(), 100);
        int live = 0;
        w->database().image.forEachEntry([&](int32_t, const uint8_t* rec) { live += entryOwner(rec) == 5; });
        QCOMPARE(live, 100);
        for (int r = 0; r < 100; ++r) {
            const int32_t pos = w->listModel()->row(r).position;
            QCOMPARE(entryOwner(w->database().image.entryAt(pos)), 5);
        }
        // A few rows in runs; then moving rows away.
        w->listView()->clearSelection();
        for (int r : {0, 1, 2, 50, 99})
            w->listView()->selectionModel()->select(w->listModel()->index(r, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelinf")->trigger();
        QCOMPARE(w->listModel()->rowCount(), 95);
        w->listView()->selectRow(10);
        emit w->treeView()->entriesDropped(findNode(*w, "北京市"));
        QCOMPARE(w->listModel()->rowCount(), 94);

        // Adding rows into the sorted list.
        w->entryCommands()->AppendInf(findNode(*w, "多地"), EntryText{"p0999", "00001", "000001"});
        w->entryCommands()->AppendInf(findNode(*w, "多地"), EntryText{"p9999", "99999", "999999"});
        QCOMPARE(w->listModel()->rowCount(), 96);
        QCOMPARE(names(*w).first(), QStringLiteral("p0999"));
        QCOMPARE(names(*w).last(), QStringLiteral("p9999"));

        // A search, then positions carried through a save and a compaction.
        search(*w, QStringLiteral("p1"));
        QCOMPARE(w->listModel()->rowCount(), 95);
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmcompres")->trigger();
        QVERIFY(script.finished());
        // The compaction lists the chosen directory again.
        QCOMPARE(w->listModel()->rowCount(), 96);
        QCOMPARE(w->countText(), QStringLiteral("共96个"));
        for (int r = 0; r < w->listModel()->rowCount(); ++r) {
            const EntryRow& row = w->listModel()->row(r);
            QCOMPARE(readField(w->database().image.entryAt(row.position), kNameCapacity), row.nameText());
        }

        // The tree: create in three places, delete, move, recover.
        clickNode(*w, findNode(*w, "深圳市"));
        qvtest::action(*w, "mmnewnode")->trigger();
        qvtest::action(*w, "mminsertnode")->trigger();
        qvtest::action(*w, "mmsubnode")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(w->database().tree.count(), 8);
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelnode")->trigger();
        QVERIFY(script.finished());
        emit w->treeView()->directoryDropped(findNode(*w, "深圳市"), findNode(*w, "北京市"));
        emit w->treeView()->directoryDropped(findNode(*w, "广州市"), nullptr);
        emit w->treeView()->directoryDropped(findNode(*w, "北京市"), findNode(*w, "广州市"));
        QCOMPARE(findNode(*w, "深圳市")->depth(), 2);
        clickNode(*w, findNode(*w, "多地"));
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelnode")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!findNode(*w, "多地"));
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmrecover")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts.last(), QStringLiteral("共恢复数据96条"));
        QCOMPARE(findNode(*w, "恢复目录")->id, 5);
    }
};

QTEST_MAIN(ListSearchTest)
#include "list_search_uitest.moc"
