// Start-up, layout, the command table, saving and the exit question.
#include "app/Application.h"
#include "app/Tmainform.h"
#include "lookup/ui/SearchBar.h"
#include "entries/ui/EntryCommands.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/MessageBox.h"
#include "lookup/ui/EntryListModel.h"
#include "lookup/ui/EntryListView.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "TestImages.h"
#include "store/DataUpdate.h"
#include "store/DatabaseLocation.h"
#include "store/ui/UpdateDialog.h"
#include "UiHelpers.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <QToolButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSplitter>
#include <QDir>
#include <QTest>
#include <QTreeWidget>

#include <map>

using namespace qv;
using namespace qvtest;

class MainWindowTest : public QObject {
    Q_OBJECT

    static std::vector<uint8_t> sampleImage()
    {
        ImageBuilder b;
        b.dir(gbk("广东省"), 0, 1).dir(gbk("深圳市"), 1, 2).dir(gbk("北京市"), 0, 3).end(3).learnedCount(0);
        b.entry(gbk("福田区"), 2, "518000", "0755").entry(gbk("罗湖区"), 2, "518001", "0755");
        b.entry(gbk("东城区"), 3, "100010", "010");
        return b.bytes;
    }

    static QStringList captions(QMenu* menu)
    {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }

    // 甲省 > 乙市 (and 丙市 when a place is filed there); a postcode that
    // starts with '-' marks the place deleted.
    static QByteArray placesFile(const std::vector<std::pair<const char*, const char*>>& places)
    {
        ImageBuilder b;
        b.dir(gbk("甲省"), 0, 1).dir(gbk("乙市"), 1, 2).dir(gbk("丙市"), 1, 3).end(3).learnedCount(0);
        for (const auto& [name, post] : places)
            b.entry(gbk(name), *post == '-' ? -2 : 2, *post == '-' ? post + 1 : post, "0101");
        return makeFile(b.bytes);
    }

    // Name -> postcode of every place in the file; deleted ones marked "-".
    static std::map<std::string, QString> placesIn(const QString& file)
    {
        Database db;
        std::map<std::string, QString> out;
        if (!db.load(file).ok())
            return out;
        db.image.forEachEntry([&](int32_t, const uint8_t* rec) {
            const EntryRecord r = EntryRecord::decode(rec);
            out[r.name] = (r.owner < 0 ? QStringLiteral("-") : QString()) + QString::fromLatin1(r.postcode.c_str());
        });
        return out;
    }

    static std::unique_ptr<Tmainform> openWithBundle(const QString& file, const QString& bundle)
    {
        auto w = std::make_unique<Tmainform>(file);
        w->setBundledDatabase(bundle, true);
        w->FormCreate();
        return w;
    }

private slots:
    void startsAsTheUserExpectsIt()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        auto w = openMainWindow(db.path());
        QCOMPARE(w->windowTitle(), QStringLiteral("Tolmerix V2.0.0"));
        QVERIFY(w->searchBar()->mh->isChecked());
        QVERIFY(!w->searchBar()->jq->isChecked());
        for (QCheckBox* c : {w->searchBar()->ckdqmc, w->searchBar()->ckdqpy, w->searchBar()->ckyzbm, w->searchBar()->ckdhqh})
            QVERIFY(c->isChecked());
        QCOMPARE(w->listModel()->count(), 0);
        QCOMPARE(w->countText(), QStringLiteral("共0个"));
        QCOMPARE(w->treeView()->width(), w->width() / 4);
        // The tree of a file written by another program: roots in order, collapsed,
        // a closed book for directories that have subdirectories.
        QCOMPARE(w->treeModel()->rowCount(), 2);
        const QModelIndex gd = w->treeModel()->index(0, 0);
        QCOMPARE(gd.data().toString(), QStringLiteral("广东省"));
        QCOMPARE(w->treeModel()->node(gd)->icon, int(kIconCollapsed));
        QCOMPARE(w->treeModel()->node(w->treeModel()->index(1, 0))->icon, int(kIconLeaf));
        QVERIFY(!w->treeView()->isExpanded(gd));
        QVERIFY(!w->database().ModifiedFlag);
        // Controls without a caption can be found by assistive technology.
        QCOMPARE(w->searchBar()->Edit1->accessibleName(), QStringLiteral("查询关键字"));
        QVERIFY(!w->treeView()->accessibleName().isEmpty());
        QVERIFY(!w->listView()->accessibleName().isEmpty());
    }

    void splitterDragHoldsUntilTheNextResize()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        auto w = openMainWindow(db.path(), true);
        w->findChild<QSplitter*>(QStringLiteral("Splitter1"))->setSizes({250, w->findChild<QSplitter*>(QStringLiteral("Splitter1"))->width() - 253});
        QCOMPARE(w->treeView()->width(), 250);
        w->resize(801, 400);
        QTest::qWait(20);
        QCOMPARE(w->treeView()->width(), 801 / 4);
    }

    void menusFollowTheCommandTable()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        auto w = openMainWindow(db.path(), false);
        QStringList top;
        for (QAction* a : w->menuBar()->actions())
            top << a->text();
        QCOMPARE(top, QStringList({"目录", "信息", "数据库", "搜索", "工具", "帮助"}));
        QCOMPARE(captions(qvtest::menu(*w, "MainMenuNode")),
                 QStringList({"修改目录", "新增目录", "插入目录", "增子目录", "删除目录", "移动到…", "-", "关闭"}));
        QCOMPARE(captions(qvtest::menu(*w, "MainMenukvrn")),
                 QStringList({"修改信息", "新增信息", "删除信息", "移动到…", "-", "选择所有", "-", "排序"}));
        QCOMPARE(captions(qvtest::menu(*w, "mmsortlist")),
                 QStringList({"所属", "地区名称", "区号", "邮编(时差)", "-", "升序", "降序"}));
        QStringList sortKeys;
        for (QAction* a : qvtest::menu(*w, "mmsortlist")->actions())
            sortKeys << a->shortcut().toString(QKeySequence::PortableText);
        QCOMPARE(sortKeys, QStringList({"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "", "", ""}));
        QCOMPARE(captions(qvtest::menu(*w, "mmdata")), QStringList({"保存", "-", "压缩数据库", "恢复数据库"}));
        QCOMPARE(captions(qvtest::menu(*w, "MainMenuFind")),
                 QStringList({"查找", "-", "精确查询", "模糊查询", "-", "按地区名称", "按地区拼音", "按邮政编码", "按电话区号", "-",
                              "按区号排序", "按匹配程度排序"}));
        QCOMPARE(captions(qvtest::menu(*w, "PopupMenu1")),
                 QStringList({"修改目录", "-", "新增目录", "插入目录", "增子目录", "-", "删除目录", "移动到…", "-", "新增信息"}));
        QCOMPARE(captions(qvtest::menu(*w, "PopupMenu2")),
                 QStringList({"修改信息", "新增信息", "删除信息", "移动到…", "-", "选择所有", "-", "排序", "-", "自动调整列宽", "默认列宽"}));
        QCOMPARE(captions(qvtest::menu(*w, "MainMenuTools")),
                 QStringList({"打印机设置", "打印字体设置", "打印", "打印预览", "-", "导出数据", "导入数据", "更新数据",
                              "拼音首字母", "-", "桌面快捷"}));
        QCOMPARE(captions(qvtest::menu(*w, "MainMenuHelp")),
                 QStringList({"关于", "-", "我的主页", "给我写信", "-", "帮助"}));
        QVERIFY(qvtest::action(*w, "mmmh")->isChecked());
        QVERIFY(!qvtest::action(*w, "mmjq")->isChecked());
        // Pictures on exactly these items of the main menu; keys beside
        // exactly these (the others have none); no item has an accelerator
        // and every one is built.
        const QMap<QString, QString> keys{
            {"mmsave", "Ctrl+S"}, {"mmprintcurrent", "Ctrl+P"}, {"N14", "F1"},       {"mmclose", "Ctrl+Q"},
            {"N1", "Ctrl+N"},     {"mmeditinf", "Enter"},       {"mmdelinf", "Del"}, {"N3", "Ctrl+A"},
            {"mmeditnode", "F2"}, {"mmmovenode", "Ctrl+M"}, {"mmmoveinf", "Ctrl+M"}};
        const QStringList pictured{"mmnewnode", "mminsertnode", "mmdelnode", "mmclose",       "mmeditinf", "N1",
                                   "mmdelinf",  "mmsave",       "mmsearch",  "mmprintcurrent", "mmexport",  "mmimport",
                                   "N12",       "mmhomepage",   "mmemail",   "N14"};
        for (QAction* top : w->menuBar()->actions())
            for (QAction* a : top->menu()->actions()) {
                if (a->isSeparator())
                    continue;
                QCOMPARE(!a->icon().isNull(), pictured.contains(a->objectName()));
                // The pictures are read when first drawn; they must then draw something.
                if (!a->icon().isNull()) {
                    const QImage picture = a->icon().pixmap(16, 16).toImage();
                    QVERIFY2(!picture.isNull() && picture.pixelColor(8, 8).alpha() + picture.pixelColor(4, 4).alpha() > 0,
                             qPrintable(a->objectName()));
                }
                QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), keys.value(a->objectName()));
                QVERIFY2(!a->text().contains(QLatin1Char('&')), qPrintable(a->objectName()));
                QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
            }
    }

    void missingFileStartsEmptyAndTheFirstSaveCreatesIt()
    {
        TempDatabase db;
        ModalScript script;
        script.click(QStringLiteral("确定"));
        auto w = openMainWindow(db.path(), false);
        QVERIFY(script.finished());
        QCOMPARE(script.titles.value(0), QStringLiteral("Qarvenda"));
        QCOMPARE(script.icons.value(0), QStringLiteral("critical"));
        QVERIFY(script.texts.value(0).contains(QStringLiteral("kvrn.dat")));
        QCOMPARE(w->treeModel()->rowCount(), 0);
        qvtest::action(*w, "mmnewnode")->trigger();
        QCOMPARE(w->database().tree.root()->children.at(0)->id, 1);
        qvtest::action(*w, "mmsave")->trigger();
        QVERIFY(!w->database().ModifiedFlag);
        Database again;
        QVERIFY(again.load(db.path()).ok());
        QCOMPARE(again.tree.count(), 1);
    }

    void damagedFileIsKeptAsideNotOverwritten()
    {
        TempDatabase db;
        const QByteArray junk("\x10\x00\x00\x00this is no zlib stream", 26);
        QVERIFY(writeFile(db.path(), junk));
        ModalScript script;
        script.click(QStringLiteral("确定"));
        auto w = openMainWindow(db.path(), false);
        QVERIFY(script.finished());
        QVERIFY(script.texts.value(0).contains(QStringLiteral("损坏")));
        QVERIFY(script.texts.value(0).contains(QStringLiteral("kvrn.dat.damaged")));
        qvtest::action(*w, "mmnewnode")->trigger();
        // The save that moves it aside says where it went.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmsave")->trigger();
        QVERIFY(script.finished());
        QVERIFY(script.texts.value(1).contains(QStringLiteral("kvrn.dat.damaged")));
        QCOMPARE(readFile(db.dir.filePath("kvrn.dat.damaged")), junk);
        QVERIFY(Database().load(db.path()).ok());
    }

    void closeQuestionHasThreeAnswers()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        const QByteArray before = readFile(db.path());
        {
            auto w = openMainWindow(db.path());
            qvtest::action(*w, "mmnewnode")->trigger();
            QVERIFY(w->database().ModifiedFlag);
            ModalScript script;
            script.click(QStringLiteral("放弃"));
            qvtest::action(*w, "mmclose")->trigger();
            QVERIFY(script.finished());
            QCOMPARE(script.texts.value(0), QStringLiteral("数据库已修改,是否保存?"));
            QCOMPARE(script.titles.value(0), QStringLiteral("确认"));
            QVERIFY(w->isVisible());
            QVERIFY(w->database().ModifiedFlag);

            script.click(QStringLiteral("(&N)否"));
            qvtest::action(*w, "mmclose")->trigger();
            QVERIFY(!w->isVisible());
            QCOMPARE(readFile(db.path()), before);
        }
        {
            auto w = openMainWindow(db.path());
            qvtest::action(*w, "mmnewnode")->trigger();
            ModalScript script;
            script.click(QStringLiteral("(&Y)是"));
            w->close();
            QVERIFY(!w->isVisible());
            Database again;
            QVERIFY(again.load(db.path()).ok());
            QCOMPARE(again.tree.count(), 4);
        }
        {
            // Nothing changed: no question at all.
            auto w = openMainWindow(db.path());
            ModalScript script;
            script.click(QStringLiteral("放弃"));
            w->close();
            QVERIFY(!w->isVisible());
            QCOMPARE(script.pending(), 1);
        }
    }

    void failedSaveFromTheExitQuestionKeepsTheWindowAndTheEdits()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        const QByteArray before = readFile(db.path());
        auto w = openMainWindow(db.path());
        qvtest::action(*w, "mmnewnode")->trigger();
        // The file's folder disappears under it: the save cannot be written.
        w->database().setPath(db.dir.filePath("gone/kvrn.dat"));
        ModalScript script;
        script.click(QStringLiteral("(&Y)是")).click(QStringLiteral("确定"));
        w->close();
        QVERIFY(script.finished());
        QCOMPARE(script.icons.value(1), QStringLiteral("critical"));
        QVERIFY(script.texts.value(1).contains(QStringLiteral("没有丢失")));
        QVERIFY(w->isVisible());
        QVERIFY(w->database().ModifiedFlag);
        QCOMPARE(readFile(db.path()), before);
    }

    void qtsOwnDialogsSpeakChinese()
    {
        qv::setUpChineseUi(*qApp);
        // Standard buttons come from Qt's own catalogue.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        // The Windows font names resolve to Chinese faces.
        QVERIFY(!QFont::substitutes(QStringLiteral("宋体")).isEmpty());
        QVERIFY(!QFont::substitutes(QStringLiteral("楷体_GB2312")).isEmpty());
        // Message boxes and dialogs draw with the window's face.
        QMessageBox box;
        QCOMPARE(QFontInfo(box.font()).family(), QFontInfo(QFont(QStringLiteral("宋体"))).family());
        if (QFontDatabase::hasFamily(QStringLiteral("WenQuanYi Micro Hei")))
            QCOMPARE(QFontInfo(box.font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
    }

    void errorBoxEndsSentencesOnce()
    {
        QCOMPARE(errorBoxText(QStringLiteral("File not found")), QStringLiteral("File not found."));
        QCOMPARE(errorBoxText(QStringLiteral("Disk full!")), QStringLiteral("Disk full!"));
        QCOMPARE(errorBoxText(QStringLiteral("找不到文件。")), QStringLiteral("找不到文件。"));
        QCOMPARE(errorBoxText(QStringLiteral("文件 a.dat")), QStringLiteral("文件 a.dat."));
    }

    void openingADirectoryChangesNoSelection()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        auto w = openMainWindow(db.path());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // Focus coming back to the tree from elsewhere picks no directory either.
        w->treeView()->setFocus(Qt::ActiveWindowFocusReason);
        QTreeView* tree = w->treeView();
        const QModelIndex gd = w->treeModel()->index(0, 0);
        // The arrow left of the caption, as the first thing the user does.
        const QRect r = tree->visualRect(gd);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(r.left() - tree->indentation() / 2, r.center().y()));
        QVERIFY(tree->isExpanded(gd));
        QVERIFY(!tree->selectionModel()->hasSelection());
        QCOMPARE(w->listModel()->count(), 0);
    }

    void keyboardReachesEveryControlAndTheCountIsReadable()
    {
        TempDatabase db;
        QVERIFY(writeFile(db.path(), makeFile(sampleImage())));
        auto w = openMainWindow(db.path());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        SearchBar* bar = w->searchBar();
        clickNode(*w, findNode(*w, "深圳市"));  // rows in the list: Tab must still leave it
        bar->Edit1->setFocus();
        QStringList seen;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QStringLiteral("none"));
        }
        QCOMPARE(seen, QStringList({"Button_search", "TreeView1", "ListView1", "jq", "ckdqmc", "ckdqpy", "ckyzbm",
                                    "ckdhqh", "Edit1"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar->ckdhqh));

        // The whole search bar shows at the smallest size the window takes.
        w->resize(200, 200);
        QTest::qWait(20);
        QVERIFY(w->width() >= bar->sizeHint().width());
        QVERIFY(bar->Button_search->isVisible() && bar->Edit1->isVisible());

        // A screen reader hears the count as the panel shows it.
        auto* count = w->findChild<QLabel*>(QStringLiteral("StatusPanel1"));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(count);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("共2个"));
    }

    void newerBundledDataReachesTheUsersCopy()
    {
        QTemporaryDir root;
        const QString bundle = root.filePath(QStringLiteral("share/kvrn.dat"));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("share")));
        const QByteArray older = placesFile({{"改", "100001"}, {"留", "100003"}, {"冲", "100004"}, {"去", "100007"}, {"删", "100008"}});
        const QByteArray newer = placesFile({{"改", "100002"}, {"留", "100003"}, {"冲", "100005"}, {"删", "100009"}, {"新", "2"}});
        auto copyOf = [&](const char* folder) {
            QVERIFY(writeFile(bundle, older));
            const DatabaseLocation loc =
                locateDatabase(QString(), root.path(), root.filePath(QLatin1String(folder)), {bundle});
            QVERIFY(loc.copied);
            QVERIFY(writeFile(bundle, newer));
        };

        // A copy nobody edited is replaced at start, the old one kept, and the window says so once.
        copyOf("plain");
        const QString plain = root.filePath(QStringLiteral("plain/kvrn.dat"));
        {
            ModalScript script;
            script.click(QStringLiteral("确定"));
            auto w = openWithBundle(plain, bundle);
            QVERIFY(script.finished());
            QVERIFY(script.texts.value(0).contains(QStringLiteral("kvrn.dat.before-update")));
            QCOMPARE(readFile(plain + QStringLiteral(".before-update")), older);
            QCOMPARE(w->database().image.entryCount(), 5);
            QCOMPARE(placesIn(plain)[gbk("改")], QStringLiteral("100002"));
        }
        {
            ModalScript nothing;  // any window now fails the test
            auto w = openWithBundle(plain, bundle);
            QVERIFY(nothing.unanswered.isEmpty());
            QCOMPARE(w->statusText(), QStringLiteral("全国邮政编码、电话区号查询"));
        }

        // An edited copy: 留 changed, 冲 changed, 删 deleted and 我 added by the user.
        copyOf("edited");
        const QString edited = root.filePath(QStringLiteral("edited/kvrn.dat"));
        QVERIFY(writeFile(edited, placesFile({{"改", "100001"}, {"留", "199999"}, {"冲", "100006"}, {"去", "100007"},
                                              {"删", "-100008"}, {"我", "3"}})));
        const QByteArray editedBytes = readFile(edited);
        ModalScript script;
        auto w = openWithBundle(edited, bundle);
        QVERIFY(script.unanswered.isEmpty());
        QCOMPARE(readFile(edited), editedBytes);
        QVERIFY(w->statusText().contains(QStringLiteral("更新数据")));

        QStringList shown;
        script.then([&](QWidget* modal) {
            auto* dialog = qobject_cast<UpdateDialog*>(modal);
            QVERIFY(dialog);
            QTreeWidget* list = dialog->changeList();
            QCOMPARE(list->accessibleName(), QStringLiteral("数据的变动"));
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* item = list->topLevelItem(i);
                shown << item->text(2) + QLatin1Char(':') + item->text(5);
            }
            // 冲: the user takes the new value; 删 stays deleted.
            list->topLevelItem(0)->setCheckState(5, Qt::Checked);
            if (const QByteArray dir = qgetenv("QV_SCREENSHOT_DIR"); !dir.isEmpty())
                dialog->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/update-dialog.png"));
            QVERIFY(clickButton(dialog, QStringLiteral("更新")));
        });
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmupdate")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(shown, QStringList({"冲:冲突：采用新数据", "删:冲突：采用新数据", "改:将采用", "新:将采用", "去:将采用"}));
        QVERIFY2(script.texts.last().contains(QStringLiteral("新增 1 个地区，修改 2 个，删除 1 个")),
                 qPrintable(script.texts.last()));
        const std::map<std::string, QString> want{{gbk("改"), "100002"}, {gbk("留"), "199999"}, {gbk("冲"), "100005"},
                                                  {gbk("去"), "-100007"}, {gbk("删"), "-100008"}, {gbk("我"), "3"},
                                                  {gbk("新"), "2"}};
        QCOMPARE(placesIn(edited), want);
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(readFile(pristineCopyPath(edited)), newer);
        QCOMPARE(w->statusText(), QStringLiteral("全国邮政编码、电话区号查询"));
        // Nothing newer now.
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmupdate")->trigger();
        QVERIFY(script.texts.last().contains(QStringLiteral("已是最新")));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_uitest.moc"
