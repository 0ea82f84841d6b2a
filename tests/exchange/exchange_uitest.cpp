// Export, import and printing as the user reaches them: through the 工具 menu.
#include "app/Tmainform.h"
#include "exchange/ui/TForm_export.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/ui/DirectoryTreeModel.h"
#include "RecordingDesktopOpener.h"
#include "TestImages.h"
#include "UiHelpers.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>

using namespace qv;
using namespace qvtest;

class ExchangeUiTest : public QObject {
    Q_OBJECT

    TempDatabase m_db;
    RecordingDesktopOpener m_opener;
    QString m_oldDir;

    std::unique_ptr<Tmainform> open()
    {
        ImageBuilder b;
        b.dir(gbk("广东省"), 0, 1).dir(gbk("深圳市"), 1, 2).end(2).learnedCount(0);
        b.entry(gbk("福田区"), 2, "518000", "0755").entry(gbk("罗湖区"), 2, "518001", "0755");
        if (!writeFile(m_db.path(), makeFile(b.bytes)))
            return nullptr;
        return openMainWindow(m_db.path());
    }

private slots:
    void init()
    {
        // kvrn.txt goes to the working folder: the test's own.
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_db.dir.path());
        m_opener.opened.clear();
        DesktopOpener::setSystem(&m_opener);
    }
    void cleanup()
    {
        DesktopOpener::setSystem(nullptr);
        QDir::setCurrent(m_oldDir);
    }

    void printIsOfferedOnlyWithRowsAndTheListExportsAsShown()
    {
        auto w = open();
        QVERIFY(w);
        QMenu* tools = qvtest::menu(*w, "MainMenuTools");
        emit tools->aboutToShow();
        QVERIFY(!qvtest::action(*w, "mmprintcurrent")->isEnabled());
        QVERIFY(!qvtest::action(*w, "mmprintpreview")->isEnabled());
        clickNode(*w, findNode(*w, "深圳市"));
        emit tools->aboutToShow();
        QVERIFY(qvtest::action(*w, "mmprintcurrent")->isEnabled());
        QVERIFY(qvtest::action(*w, "mmprintpreview")->isEnabled());

        // Sorted by name, descending: the file follows the list as shown.
        w->listModel()->sortBy(1, -1);
        ModalScript script;
        script.then([](QWidget* m) {
            auto* d = qobject_cast<TForm_export*>(m);
            QVERIFY(d);
            d->texttype->click();
            clickButton(d, QStringLiteral("确定"));
            QCOMPARE(d->ProgressBar1->value(), 100);
            clickButton(d, QStringLiteral("退出"));
        });
        qvtest::action(*w, "mmexport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(readFile(QStringLiteral("kvrn.txt")),
                 QByteArray(gbk("深圳市,罗湖区,0755,518001\r\n深圳市,福田区,0755,518000\r\n").c_str()));
        QCOMPARE(m_opener.opened, QList<QUrl>({QUrl::fromLocalFile(QDir::current().filePath("kvrn.txt"))}));
        QVERIFY(!w->database().ModifiedFlag);
    }

    void importAddsDirectoriesBesideTheSelectedOne()
    {
        auto w = open();
        QVERIFY(w);
        const QString file = m_db.dir.filePath(QStringLiteral("in.txt"));
        QVERIFY(writeFile(file, QByteArray(gbk("甲,一,01,1\r\n甲,二,02,2\n乙,三,03,3\n").c_str())));
        clickNode(*w, findNode(*w, "深圳市"));
        QStringList filters;
        ModalScript script;
        script.then([&](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            QVERIFY(d);
            filters = d->nameFilters();
            d->selectFile(file);
            static_cast<QDialog*>(d)->accept();
        });
        qvtest::action(*w, "mmimport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(filters, QStringList({"文本文件(*.txt)", "所有文件(*.*)"}));
        // The tree shows them at once, after the selected directory.
        const QModelIndex gd = w->treeModel()->index(0, 0);
        QCOMPARE(w->treeModel()->rowCount(gd), 3);
        QCOMPARE(w->treeModel()->index(1, 0, gd).data().toString(), QStringLiteral("甲"));
        QCOMPARE(w->treeModel()->index(2, 0, gd).data().toString(), QStringLiteral("乙"));
        QVERIFY(w->database().ModifiedFlag);
        clickNode(*w, findNode(*w, "甲"));
        QCOMPARE(w->listModel()->count(), 2);

        // Cancelling the file dialog changes nothing.
        w->database().ModifiedFlag = false;
        script.then([](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); });
        qvtest::action(*w, "mmimport")->trigger();
        QVERIFY(script.finished());
        QVERIFY(!w->database().ModifiedFlag);
        QCOMPARE(w->treeModel()->rowCount(gd), 3);
    }
};

QTEST_MAIN(ExchangeUiTest)
#include "exchange_uitest.moc"
