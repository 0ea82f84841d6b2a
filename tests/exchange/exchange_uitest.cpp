// Export, import and printing as the user reaches them: through the 工具 menu.
#include "RecordingDesktopOpener.h"
#include "TestImages.h"
#include "UiHelpers.h"
#include "app/Tmainform.h"
#include "exchange/ui/TForm_export.h"
#include "lookup/Pinyin.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/ui/DirectoryTreeModel.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

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

    // Queues the file dialog's answer: `lines` (UTF-8 here) written as GBK.
    void chooseImportFile(ModalScript& script, const char* lines)
    {
        const QString file = m_db.dir.filePath(QStringLiteral("in.txt"));
        QVERIFY(writeFile(file, QByteArray(gbk(lines).c_str())));
        script.then([file](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            QVERIFY(d);
            d->selectFile(file);
            static_cast<QDialog*>(d)->accept();
        });
    }

    // The progress window of the running import, once it is up.
    static QProgressDialog* importProgress(Tmainform& w)
    {
        return w.findChild<QProgressDialog*>(QStringLiteral("LongTaskProgress"));
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
            // The full path, shown whole under the bar.
            QVERIFY(d->writtenFile->isVisible());
            QCOMPARE(d->writtenFile->text().remove(QChar(0x200b)),
                     QStringLiteral("已导出到：") + QDir::current().filePath("kvrn.txt"));
            QVERIFY(d->rect().contains(d->writtenFile->geometry()));
            QVERIFY(d->writtenFile->height() >= d->writtenFile->heightForWidth(d->writtenFile->width()));
            clickButton(d, QStringLiteral("退出"));
        });
        qvtest::action(*w, "mmexport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(readFile(QStringLiteral("kvrn.txt")),
                 QByteArray(gbk("深圳市,罗湖区,0755,518001\r\n深圳市,福田区,0755,518000\r\n").c_str()));
        QCOMPARE(m_opener.opened, QList<QUrl>({QUrl::fromLocalFile(QDir::current().filePath("kvrn.txt"))}));
        QVERIFY(!w->database().ModifiedFlag);
    }

    // By keyboard: after an export the focus stays on the control that started it.
    void exportKeepsTheFocusWhereTheUserWas()
    {
        auto w = open();
        QVERIFY(w);
        clickNode(*w, findNode(*w, "深圳市"));
        ModalScript script;
        script.then([](QWidget* m) {
            auto* d = static_cast<TForm_export*>(m);
            QApplication::setActiveWindow(d);
            // Key, focus afterwards: Enter on a choice is the default button, 确定; Space on 确定 too.
            const std::pair<Qt::Key, QWidget*> steps[] = {{Qt::Key_Tab, d->exceltype},
                                                          {Qt::Key_Down, d->texttype},
                                                          {Qt::Key_Return, d->texttype},
                                                          {Qt::Key_Tab, d->Button1},
                                                          {Qt::Key_Space, d->Button1}};
            for (const auto& [key, focus] : steps) {
                QTest::keyClick(QApplication::focusWidget(), key);
                QCOMPARE(QApplication::focusWidget(), focus);
            }
            d->reject();
        });
        qvtest::action(*w, "mmexport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(m_opener.opened.size(), 2);  // both exports ran
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
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmimport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(filters, QStringList({"文本文件(*.txt)", "所有文件(*.*)"}));
        QCOMPARE(script.texts, QStringList({QStringLiteral("共导入3个地区，新建2个目录。")}));
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

    // The question during an import holds the input, with the progress
    // window (and its 取消) shown beside it rather than over it, even after
    // the progress window's own delay has passed.
    void importQuestionIsAnsweredBesideTheProgress()
    {
        auto w = open();
        QVERIFY(w);
        ModalScript script;
        chooseImportFile(script, "测试目录,漷县镇,010,101100\r\n测试目录,漷县,010,101100\r\n");
        script.then([&](QWidget* m) {
            QCOMPARE(m->objectName(), QStringLiteral("frminputpy"));
            QTest::qWait(600);  // longer than the progress window waits before it shows
            QProgressDialog* progress = importProgress(*w);
            QVERIFY(progress && progress->isVisible());
            const auto buttons = progress->findChildren<QPushButton*>();
            QVERIFY(std::any_of(buttons.begin(), buttons.end(),
                                [](QPushButton* b) { return b->text() == QStringLiteral("取消"); }));
            QCOMPARE(QApplication::activeModalWidget(), m);
            QVERIFY(!progress->frameGeometry().intersects(m->frameGeometry()));
            auto* edit = m->findChild<QLineEdit*>(QStringLiteral("Edit1"));
            QTest::keyClick(edit, Qt::Key_H);
            QCOMPARE(edit->text(), QStringLiteral("H"));
            QVERIFY(clickButton(m, QStringLiteral("确定")));
        });
        script.click(QStringLiteral("确定"));
        qvtest::action(*w, "mmimport")->trigger();
        QVERIFY(script.finished());
        QCOMPARE(script.texts, QStringList({QStringLiteral("共导入2个地区，新建1个目录。")}));
        const Database& db = w->database();
        QCOMPARE(db.learned.size(), size_t(1));  // asked once: the answer serves the second line
        QCOMPARE(CharInitial(uint8_t(gbk("漷")[0]), uint8_t(gbk("漷")[1]), db.learned), std::string("H"));
        QVERIFY(db.ModifiedFlag);
        QVERIFY(findNode(*w, "测试目录"));
    }

    // 取消 in the progress window, or "stop" after a question closed without
    // a letter, leaves the database as it was; "go on" imports the rest.
    void stoppedImportChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("取消") << "cancel";
        QTest::newRow("question closed, stop") << "stop";
        QTest::newRow("question closed, go on") << "go on";
    }
    void stoppedImportChangesNothing()
    {
        QFETCH(QString, how);
        auto w = open();
        QVERIFY(w);
        Database& db = w->database();
        db.ModifiedFlag = false;
        const std::vector<uint8_t> image = db.image.bytes();
        const std::vector<uint8_t> saved = db.buildImage();
        ModalScript script;
        chooseImportFile(script, "甲,东城,010,1\r\n乙,漷县,010,101100\r\n丙,西城,010,2\r\n");
        script.then([&](QWidget* m) {
            if (how == "cancel") {
                QProgressDialog* progress = importProgress(*w);
                QVERIFY(progress);
                QVERIFY(clickButton(progress, QStringLiteral("取消")));
                m->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("H"));
                QVERIFY(clickButton(m, QStringLiteral("确定")));
            } else {
                QTest::keyClick(m, Qt::Key_Escape);
            }
        });
        if (how == "stop")
            script.click(QStringLiteral("确定"));
        if (how == "go on")
            script.click(QStringLiteral("放弃")).click(QStringLiteral("确定"));
        qvtest::action(*w, "mmimport")->trigger();
        QVERIFY(script.finished());
        if (how == "go on") {
            QCOMPARE(script.texts.last(), QStringLiteral("共导入3个地区，新建3个目录。"));
            QVERIFY(db.ModifiedFlag);
            QVERIFY(db.learned.empty());
            return;
        }
        QVERIFY(!db.ModifiedFlag);
        QVERIFY(db.image.bytes() == image);
        QVERIFY(db.buildImage() == saved);
        QVERIFY(!findNode(*w, "甲"));
        QCOMPARE(w->treeModel()->rowCount(w->treeModel()->index(0, 0)), 1);
    }
};

QTEST_MAIN(ExchangeUiTest)
#include "exchange_uitest.moc"
