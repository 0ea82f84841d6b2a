// The directory tree as the user works it: creating, renaming in place,
// deleting, moving by drag and drop, icons, selection and drag scrolling.
#include "widgets/Icons.h"
#include "app/Tmainform.h"
#include "lookup/ui/SearchBar.h"
#include "entries/ui/EntryCommands.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeView.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/DirectoryCommands.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "store/GbkText.h"
#include "TestImages.h"
#include "UiHelpers.h"

#include "widgets/DragTypes.h"
#include <QToolButton>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

using namespace qv;
using qvtest::clickNode;
using qvtest::findNode;
using namespace qvtest;

namespace {

// The view's state is protected; a using-declaration makes it reachable
// through a member pointer without touching the view.
struct ViewState : QTreeView {
    static bool editing(QAbstractItemView* v) { return (v->*(&ViewState::state))() == EditingState; }
};
bool isEditing(QAbstractItemView* v) { return ViewState::editing(v); }

// 广东省 (1) with 深圳市 (2), 广州市 (3), 珠海市 (4); 北京市 (5); 上海市 (6);
// 浙江省 (7) with 杭州市 (8) with 西湖区 (9).
std::vector<uint8_t> sampleImage()
{
    ImageBuilder b;
    b.dir(qvtest::gbk("广东省"), 0, 1).dir(qvtest::gbk("深圳市"), 1, 2).dir(qvtest::gbk("广州市"), 1, 3).dir(qvtest::gbk("珠海市"), 1, 4);
    b.dir(qvtest::gbk("北京市"), 0, 5).dir(qvtest::gbk("上海市"), 0, 6);
    b.dir(qvtest::gbk("浙江省"), 0, 7).dir(qvtest::gbk("杭州市"), 1, 8).dir(qvtest::gbk("西湖区"), 2, 9);
    b.end(9).learnedCount(0);
    b.entry(qvtest::gbk("福田区"), 2, "518048", "0755");
    b.entry(qvtest::gbk("天河区"), 3, "510630", "020");
    b.entry(qvtest::gbk("越秀区"), 3, "510030", "020");
    b.entry(qvtest::gbk("旧城区"), -3, "510000", "020");  // deleted before
    b.entry(qvtest::gbk("香洲区"), 4, "519000", "0756");
    b.entry(qvtest::gbk("东城区"), 5, "100010", "010");
    b.entry(qvtest::gbk("黄浦区"), 6, "200001", "021");
    return b.bytes;
}

std::vector<uint8_t> manyRootsImage(int n)
{
    ImageBuilder b;
    for (int i = 1; i <= n; ++i)
        b.dir("dir" + std::to_string(i), 0, i);
    b.end(n).learnedCount(0);
    return b.bytes;
}

QStringList captionsOf(const DirectoryNode* parent)
{
    QStringList out;
    for (const auto& c : parent->children)
        out << qv::gbk::toQString(c->caption);
    return out;
}

QModelIndex indexOf(Tmainform& w, const DirectoryNode* n) { return w.treeModel()->indexOf(n); }

std::vector<uint8_t> entrySection(Tmainform& w)
{
    const auto& b = w.database().image.bytes();
    return std::vector<uint8_t>(b.begin() + w.database().image.entrySectionStart(), b.end());
}

std::vector<int32_t> owners(Tmainform& w)
{
    std::vector<int32_t> out;
    w.database().image.forEachEntry([&](int32_t, const uint8_t* rec) { out.push_back(entryOwner(rec)); });
    return out;
}

QStringList listedNames(Tmainform& w) { return listedColumn(w, 1); }

// A drag of `format` arriving over the tree at `pos`: whether the tree takes
// it on entering and on moving. Entering starts with the opposite answer and
// moving starts refused, so the tree has to decide itself. (A move is
// delivered only to a widget that took the drag when it entered.)
std::pair<bool, bool> offerDrag(Tmainform& w, const QString& format, QPoint pos, bool enterStartsAccepted)
{
    QMimeData mime;
    mime.setData(format, QByteArray("1"));
    QWidget* vp = w.treeView()->viewport();
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(enterStartsAccepted);
    QApplication::sendEvent(vp, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    QApplication::sendEvent(vp, &move);
    QDragLeaveEvent leave;
    QApplication::sendEvent(vp, &leave);
    return {enter.isAccepted(), move.isAccepted()};
}

}  // namespace

class TreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDatabase> m_db;

    std::unique_ptr<Tmainform> open(const std::vector<uint8_t>& image)
    {
        return qvtest::openOnImage(m_db, image);
    }

private slots:
    void threeNewDirectoriesFromTheMiddleGoToTheEndOfTheLevel()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* gd = findNode(*w, "广东省");
        clickNode(*w, findNode(*w, "广州市"));
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "广州市"));
        ModalScript noMessage;
        noMessage.click(QStringLiteral("确定"));
        for (int k = 0; k < 3; ++k) {
            qvtest::action(*w, QStringLiteral("mmnewnode"))->trigger();
            DirectoryNode* made = gd->children.back().get();
            QCOMPARE(made->id, 10 + k);
            QCOMPARE(made->caption, newDirectoryCaption());
            QCOMPARE(made->icon, int(kIconLeaf));
            // The new directory is selected and open for its name to be typed.
            QCOMPARE(w->treeView()->currentNode(), made);
            QVERIFY(isEditing(w->treeView()));
            QLineEdit* editor = treeEditor(*w);
            QVERIFY(editor);
            QCOMPARE(editor->text(), QStringLiteral("新目录"));
            QVERIFY(w->treeView()->visualRect(indexOf(*w, made)).intersects(editor->geometry()));
        }
        QCoreApplication::processEvents();
        QCOMPARE(captionsOf(gd), QStringList({"深圳市", "广州市", "珠海市", "新目录", "新目录", "新目录"}));
        QCOMPARE(captionsOf(w->database().tree.root()), QStringList({"广东省", "北京市", "上海市", "浙江省"}));
        QCOMPARE(w->database().tree.NextDirectoryId(), 12);
        QVERIFY(w->database().ModifiedFlag);
        // Moving on from one new name to the next keeps "新目录" without complaint.
        QCOMPARE(noMessage.pending(), 1);
    }

    void insertOnAFirstChildMakesTheNewOneTheFirstChild()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        qvtest::action(*w, QStringLiteral("mnuInsertNode"))->trigger();
        DirectoryNode* gd = findNode(*w, "广东省");
        QCOMPARE(captionsOf(gd), QStringList({"新目录", "深圳市", "广州市", "珠海市"}));
        QCOMPARE(gd->children.front()->id, 10);
        QCOMPARE(w->treeView()->currentNode(), gd->children.front().get());
        QVERIFY(isEditing(w->treeView()));
        QVERIFY(w->database().ModifiedFlag);
    }

    void subdirectoryOfALeafOpensItAndEditsTheChild()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* bj = findNode(*w, "北京市");
        QCOMPARE(bj->icon, int(kIconLeaf));
        clickNode(*w, bj);
        qvtest::action(*w, QStringLiteral("mmsubnode"))->trigger();
        QCOMPARE(bj->children.size(), size_t(1));
        DirectoryNode* child = bj->children.front().get();
        QCOMPARE(child->id, 10);
        QCOMPARE(bj->icon, int(kIconExpanded));
        QVERIFY(w->treeView()->isExpanded(indexOf(*w, bj)));
        QVERIFY(w->treeView()->visualRect(indexOf(*w, child)).isValid());
        QCOMPARE(w->treeView()->currentNode(), child);
        QVERIFY(isEditing(w->treeView()));
    }

    void commandsThatNeedADirectoryDoNothingWithoutOne()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        QVERIFY(!w->treeView()->currentNode());
        ModalScript noMessage;
        noMessage.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmsubnode")->trigger();
        qvtest::action(*w, "mmdelnode")->trigger();
        qvtest::action(*w, "mmeditnode")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(w->database().tree.count(), 9);
        QVERIFY(!w->database().ModifiedFlag);
        QVERIFY(!treeEditor(*w));
        QCOMPARE(noMessage.pending(), 1);
        // "新增目录" without a selection adds the last root.
        qvtest::action(*w, "mmnewnode")->trigger();
        QCOMPARE(captionsOf(w->database().tree.root()).last(), QStringLiteral("新目录"));
        QCOMPARE(w->database().tree.root()->children.back()->id, 10);
    }

    void renamingThroughTheEditorChecksTheLengthInBytes()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* bj = findNode(*w, "北京市");
        // Selecting with a click must not count as a click on a selected node
        // (which renames after a pause): the command opens its editor at once.
        clickNode(*w, bj);

        // 12 Chinese characters and one letter: 25 bytes, accepted.
        const QString longest = QStringLiteral("一二三四五六七八九十百千A");
        qvtest::action(*w, QStringLiteral("mmeditnode"))->trigger();
        ModalScript script;
        script.click(QStringLiteral("确定"));
        typeCaption(*w, longest, Qt::Key_Return);
        QTRY_COMPARE(qv::gbk::toQString(bj->caption), longest);
        QCOMPARE(bj->caption.size(), size_t(25));
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(script.pending(), 1);

        // 13 Chinese characters: 26 bytes, refused with the reason in bytes;
        // the caption stays and the editor opens again on the typed text.
        const QString refusal = QStringLiteral("标题不能为空，长度不能超过25！\n"
                                               "长度按字节计算：最多25个字节，一个汉字占两个字节。");
        const QString tooLong = QStringLiteral("一二三四五六七八九十百千万");
        qvtest::action(*w, "mmeditnode")->trigger();
        typeCaption(*w, tooLong, Qt::Key_Return);
        QTRY_VERIFY(script.finished());
        QCOMPARE(script.texts.value(0), refusal);
        QCOMPARE(script.titles.value(0), QStringLiteral("Qarvenda"));
        QCOMPARE(script.icons.value(0), QStringLiteral("none"));
        QCOMPARE(qv::gbk::toQString(bj->caption), longest);
        QCOMPARE(indexOf(*w, bj).data().toString(), longest);
        QCOMPARE(w->treeView()->currentNode(), bj);
        QLineEdit* again = treeEditor(*w);
        QVERIFY(again);
        QCOMPARE(again->text(), tooLong);
        // Corrected by one character, it is taken.
        QTest::keyClick(again, Qt::Key_End);
        QTest::keyClick(again, Qt::Key_Backspace);
        QTest::keyClick(again, Qt::Key_Return);
        QTRY_COMPARE(qv::gbk::toQString(bj->caption), tooLong.chopped(1));

        // Empty: refused the same way; the editor opens on the caption.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmeditnode")->trigger();
        typeCaption(*w, QString(), Qt::Key_Return);
        QTRY_VERIFY(script.finished());
        QCOMPARE(script.texts.value(1), refusal);
        QCOMPARE(qv::gbk::toQString(bj->caption), tooLong.chopped(1));
        again = treeEditor(*w);
        QVERIFY(again);
        QCOMPARE(again->text(), tooLong.chopped(1));
        QTest::keyClick(again, Qt::Key_Escape);
    }

    void aCharacterWithoutGbkFormIsRefused()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* sh = findNode(*w, "上海市");
        clickNode(*w, sh);
        qvtest::action(*w, "mmeditnode")->trigger();
        ModalScript script;
        script.click(QStringLiteral("确定"));
        typeCaption(*w, QStringLiteral("上海\U0001F600"), Qt::Key_Return);
        QTRY_VERIFY(script.finished());
        QCOMPARE(script.titles.value(0), QStringLiteral("Qarvenda"));
        QVERIFY(script.texts.value(0).contains(QStringLiteral("\U0001F600")));
        QCOMPARE(sh->caption, qvtest::gbk("上海市"));
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(w->treeView()->currentNode(), sh);
    }

    void escapeKeepsTheNewNameAndAsksNothing()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        clickNode(*w, findNode(*w, "上海市"));
        qvtest::action(*w, "mmnewnode")->trigger();
        DirectoryNode* made = w->database().tree.root()->children.back().get();
        ModalScript noMessage;
        noMessage.click(QStringLiteral("确定"));
        typeCaption(*w, QStringLiteral("天津市"), Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(!treeEditor(*w));
        QCOMPARE(made->caption, newDirectoryCaption());
        QCOMPARE(noMessage.pending(), 1);
    }

    void aDirectoryWithSubdirectoriesIsNotDeleted()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        clickNode(*w, findNode(*w, "广东省"));
        const auto before = entrySection(*w);
        ModalScript script;
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelnode")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts, QStringList({"不能删除有子目录的目录，请先删除子目录！"}));
        QCOMPARE(w->database().tree.count(), 9);
        QCOMPARE(entrySection(*w), before);
        QVERIFY(!w->database().ModifiedFlag);
    }

    void deletingWithCancelChangesNothing()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        for (bool modifiedBefore : {false, true}) {
            clickNode(*w, findNode(*w, "北京市"));
            w->database().ModifiedFlag = modifiedBefore;
            const auto before = entrySection(*w);
            ModalScript script;
            script.click(QStringLiteral("放弃"));
            qvtest::action(*w, "mmdelnode")->trigger();
            QVERIFY(script.finished());
            QCOMPARE(script.texts.value(0),
                     QStringLiteral("你真的要删除所选择的目录吗？\n共0个下级目录、1条信息将被删除。"));
            QCOMPARE(script.titles.value(0), QStringLiteral("确认"));
            QCOMPARE(script.icons.value(0), QStringLiteral("question"));
            QVERIFY(findNode(*w, "北京市"));
            QCOMPARE(w->database().tree.count(), 9);
            QCOMPARE(entrySection(*w), before);
            QCOMPARE(w->database().ModifiedFlag, modifiedBefore);
            QCOMPARE(w->treeView()->currentNode(), findNode(*w, "北京市"));
        }
    }

    void confirmedDeleteMarksTheEntriesAndSelectsANeighbour()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        clickNode(*w, findNode(*w, "广州市"));
        QCOMPARE(listedNames(*w), QStringList({"天河区", "越秀区"}));
        const QString countBefore = w->countText();

        // The Delete key in the tree, on the middle of three: the next one follows.
        ModalScript script;
        script.click(QStringLiteral("确定"));
        w->treeView()->setFocus();
        QTest::keyClick(w->treeView(), Qt::Key_Delete);
        QVERIFY(script.finished());
        // The count leaves out the place deleted before.
        QCOMPARE(script.texts.value(0),
                 QStringLiteral("你真的要删除所选择的目录吗？\n共0个下级目录、2条信息将被删除。"));
        QVERIFY(!findNode(*w, "广州市"));
        // Both live entries deleted; the one deleted before stays deleted.
        QCOMPARE(owners(*w), std::vector<int32_t>({2, -3, -3, -3, 4, 5, 6}));
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "珠海市"));
        QCOMPARE(listedNames(*w), QStringList({"香洲区"}));
        QCOMPARE(w->countText(), QStringLiteral("共1个"));
        QVERIFY(w->countText() != countBefore);

        // The last of its level: the previous one follows.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, QStringLiteral("mnuDelNode"))->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "深圳市"));
        QCOMPARE(listedNames(*w), QStringList({"福田区"}));

        // The only one left: its parent follows.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmdelnode")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(w->treeView()->currentNode(), findNode(*w, "广东省"));
        QCOMPARE(listedNames(*w), QStringList());
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
        QCOMPARE(owners(*w), std::vector<int32_t>({-2, -3, -3, -3, -4, 5, 6}));
        // The other records kept every byte but the owners.
        const auto& b = w->database().image.bytes();
        const int32_t start = w->database().image.entrySectionStart();
        QCOMPARE(readField(b.data() + start, kNameCapacity), std::string_view(qvtest::gbk("福田区")));
        QCOMPARE(b[size_t(start) + 47], uint8_t(0xEE));
    }

    void dropsThatMoveNothing()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* gd = findNode(*w, "广东省");
        DirectoryNode* sz = findNode(*w, "深圳市");
        DirectoryNode* bj = findNode(*w, "北京市");
        // Onto its own parent, onto itself, onto its own branch, a root below the last node.
        emit w->treeView()->directoryDropped(sz, gd);
        emit w->treeView()->directoryDropped(gd, gd);
        emit w->treeView()->directoryDropped(gd, sz);
        emit w->treeView()->directoryDropped(findNode(*w, "浙江省"), findNode(*w, "西湖区"));
        emit w->treeView()->directoryDropped(bj, nullptr);
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(captionsOf(w->database().tree.root()), QStringList({"广东省", "北京市", "上海市", "浙江省"}));
        QCOMPARE(captionsOf(gd), QStringList({"深圳市", "广州市", "珠海市"}));
        QCOMPARE(sz->parent, gd);
    }

    void aSubdirectoryDroppedBelowTheLastNodeBecomesTheLastRoot()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* hz = findNode(*w, "杭州市");
        // A drag starts with a press on the node, which selects it.
        clickNode(*w, hz);
        QCOMPARE(w->treeView()->currentNode(), hz);
        w->searchBar()->Edit1->setText(QStringLiteral("区"));
        w->searchBar()->Button_search->click();
        const QStringList shown = listedNames(*w);
        QVERIFY(!shown.isEmpty());

        emit w->treeView()->directoryDropped(hz, nullptr);
        QCOMPARE(captionsOf(w->database().tree.root()), QStringList({"广东省", "北京市", "上海市", "浙江省", "杭州市"}));
        QVERIFY(findNode(*w, "浙江省")->children.empty());
        QCOMPARE(captionsOf(hz), QStringList({"西湖区"}));
        QCOMPARE(hz->depth(), 0);
        QCOMPARE(findNode(*w, "西湖区")->depth(), 1);
        QCOMPARE(hz->id, 8);
        QVERIFY(w->database().ModifiedFlag);
        // Selection and list as they were.
        QCOMPARE(w->treeView()->currentNode(), hz);
        QVERIFY(w->treeView()->selectionModel()->isSelected(indexOf(*w, hz)));
        QCOMPARE(listedNames(*w), shown);

        // Onto a collapsed directory: it opens.
        DirectoryNode* sh = findNode(*w, "上海市");
        emit w->treeView()->directoryDropped(findNode(*w, "北京市"), sh);
        QCOMPARE(captionsOf(sh), QStringList({"北京市"}));
        QVERIFY(w->treeView()->isExpanded(indexOf(*w, sh)));
        QCOMPARE(sh->icon, int(kIconExpanded));
    }

    // 移动到… (Ctrl+M in the tree): the directory goes where the arrows and
    // Enter choose, by the drop's rules; its own branch cannot be chosen.
    void directoriesMoveByKeyboard()
    {
        struct Case {
            std::vector<Qt::Key> treeKeys;    // from the tree's focus, choosing what moves
            std::vector<Qt::Key> dialogKeys;  // in the dialog's tree
            const char* start;                // where the choice starts
            QStringList greyed;               // what cannot be chosen
            const char* target;               // the parent afterwards; "" for 顶层
            bool moved;
        };
        const Case cases[] = {
            {{Qt::Key_Home, Qt::Key_Right, Qt::Key_Down}, {Qt::Key_Home, Qt::Key_Return}, "广东省", {"深圳市"}, "", true},
            {{Qt::Key_End}, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, "（顶层）", {"浙江省", "杭州市", "西湖区"},
             "北京市", true},
            // The arrows pass over the greyed branch: the last Down stays on 上海市.
            {{Qt::Key_End}, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, "（顶层）",
             {"浙江省", "杭州市", "西湖区"}, "上海市", true},
            // Its own parent, as a drop there, moves nothing; nor does Esc.
            {{Qt::Key_Home, Qt::Key_Right, Qt::Key_Down}, {Qt::Key_Return}, "广东省", {"深圳市"}, "广东省", false},
            {{Qt::Key_Home}, {Qt::Key_Down, Qt::Key_Escape}, "（顶层）", {"广东省", "深圳市", "广州市", "珠海市"}, "",
             false},
        };
        for (const Case& c : cases) {
            auto w = open(sampleImage());
            QVERIFY(w);
            DirectoryTreeView* tree = w->treeView();
            tree->setFocus(Qt::TabFocusReason);
            for (Qt::Key k : c.treeKeys)
                QTest::keyClick(tree, k);
            DirectoryNode* moving = tree->currentNode();
            QVERIFY(moving);
            const QString name = gbk::toQString(moving->caption);
            ModalScript script;
            MoveDialogSeen seen;
            answerMoveDialog(script, c.dialogKeys, seen);
            QTest::keyClick(tree, Qt::Key_M, Qt::ControlModifier);
            QVERIFY2(script.finished() && !seen.stayedOpen, qPrintable(name));
            QCOMPARE(seen.label, QStringLiteral("把目录“%1”连同它的下级目录和地名移到：").arg(name));
            QCOMPARE(seen.start, QString::fromUtf8(c.start));
            QCOMPARE(seen.greyed, c.greyed);
            const DirectoryNode* parent = moving->parent;
            QCOMPARE(parent == w->database().tree.root() ? QString() : gbk::toQString(parent->caption),
                     QString::fromUtf8(c.target));
            QCOMPARE(w->database().ModifiedFlag, c.moved);
            // A move goes to the end of the target's directories; the moved one stays chosen.
            if (c.moved)
                QCOMPARE(parent->children.back().get(), moving);
            QCOMPARE(tree->currentNode(), moving);
        }
        // Typing a new name, the key opens nothing and the name stays being typed.
        auto w = open(sampleImage());
        QVERIFY(w);
        w->treeView()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->treeView(), Qt::Key_F2);
        QLineEdit* editor = treeEditor(*w);
        QVERIFY(editor);
        ModalScript none;
        QTest::keyClick(editor, Qt::Key_M, Qt::ControlModifier);
        QVERIFY(none.unanswered.isEmpty());
        QCOMPARE(treeEditor(*w), editor);
    }

    void openingAndClosingSetTheBookIcons()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* gd = findNode(*w, "广东省");
        QCOMPARE(gd->icon, int(kIconCollapsed));
        clickNode(*w, gd);
        w->treeView()->setFocus();
        QTest::keyClick(w->treeView(), Qt::Key_Right);
        QVERIFY(w->treeView()->isExpanded(indexOf(*w, gd)));
        QCOMPARE(gd->icon, int(kIconExpanded));
        QCOMPARE(w->treeModel()->data(indexOf(*w, gd), Qt::DecorationRole).value<QIcon>().cacheKey(),
                 imageListIcon(kImageOpenBook).cacheKey());
        QTest::keyClick(w->treeView(), Qt::Key_Left);
        QVERIFY(!w->treeView()->isExpanded(indexOf(*w, gd)));
        QCOMPARE(gd->icon, int(kIconCollapsed));
        w->treeView()->expand(indexOf(*w, gd));
        QCOMPARE(gd->icon, int(kIconExpanded));
    }

    void aRightButtonPressSelectsTheNode()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        DirectoryNode* bj = findNode(*w, "北京市");
        const QModelIndex i = indexOf(*w, bj);
        QTest::mousePress(w->treeView()->viewport(), Qt::RightButton, {}, w->treeView()->visualRect(i).center());
        QCOMPARE(w->treeView()->currentNode(), bj);
        QCOMPARE(listedNames(*w), QStringList({"东城区"}));
        QTest::mouseRelease(w->treeView()->viewport(), Qt::RightButton, {}, w->treeView()->visualRect(i).center());
        // The context menu now acts on it.
        ModalScript script;
        script.click(QStringLiteral("放弃"));
        qvtest::action(*w, QStringLiteral("mnuDelNode"))->trigger();
        QVERIFY(script.finished());
        QVERIFY(findNode(*w, "北京市"));
    }

    void theTreeTakesRowsFromTheListAndNothingForeign()
    {
        auto w = open(sampleImage());
        QVERIFY(w);
        const QString entries = qv::drag::entriesFormat();
        const QPoint onNode = w->treeView()->visualRect(indexOf(*w, findNode(*w, "北京市"))).center();
        const QPoint belowAll(5, w->treeView()->viewport()->height() / 2 + 40);
        QVERIFY(!w->treeView()->indexAt(belowAll).isValid());
        for (QPoint p : {onNode, belowAll}) {
            QCOMPARE(offerDrag(*w, entries, p, false), std::make_pair(true, true));
            QCOMPARE(offerDrag(*w, QStringLiteral("text/plain"), p, true), std::make_pair(false, false));
            // A directory that no drag of this tree carries comes from elsewhere.
            QCOMPARE(offerDrag(*w, qv::drag::directoryFormat(), p, true),
                     std::make_pair(false, false));
            // Rows from another running copy are not taken for our own selection.
            QCOMPARE(offerDrag(*w, QStringLiteral("application/x-qarvenda-entries"), p, true),
                     std::make_pair(false, false));
            QCOMPARE(offerDrag(*w, QString(entries).append(QLatin1Char('0')), p, true), std::make_pair(false, false));
        }
        QVERIFY(!w->database().ModifiedFlag);
    }

    void draggingNearAnEdgeScrollsOneNode()
    {
        auto w = open(manyRootsImage(80));
        QVERIFY(w);
        DirectoryTreeView* v = w->treeView();
        QScrollBar* bar = v->verticalScrollBar();
        QVERIFY(bar->maximum() > 2);
        const int h = v->viewport()->height();
        auto top = [&] { return w->treeModel()->node(v->indexAt(QPoint(5, 1)))->id; };
        QCOMPARE(top(), 1);
        v->dragScrollStep(h - 2);
        QCOMPARE(top(), 2);
        v->dragScrollStep(h / 2);
        QCOMPARE(top(), 2);
        v->dragScrollStep(2);
        QCOMPARE(top(), 1);
        v->dragScrollStep(2);
        QCOMPARE(top(), 1);
        // A drag of list rows moving over the lower edge scrolls the same way.
        offerDrag(*w, qv::drag::entriesFormat(), QPoint(5, h - 2), false);
        QCOMPARE(top(), 2);
        // At the end nothing scrolls further.
        bar->setValue(bar->maximum());
        const int last = top();
        v->dragScrollStep(h - 2);
        QCOMPARE(top(), last);
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(TreeTest)
#include "tree_uitest.moc"
