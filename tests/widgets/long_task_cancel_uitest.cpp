// Long work beside the event loop: the progress window's 取消 reaches the
// work, while clicks on every other window wait; without a cancel flag the
// window offers no button. Work in steps on this thread keeps the loop
// turning, with the same rule for input.
#include "widgets/LongTask.h"

#include <QApplication>
#include <QDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

using namespace qv;

namespace {

// The visible progress window, if any.
QProgressDialog* progressShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible())
            return p;
    return nullptr;
}

// Work that ends when asked to, or after `limitMs`.
void waitForCancel(const std::atomic<bool>* cancel, int limitMs)
{
    for (int waited = 0; waited < limitMs && !(cancel && cancel->load()); waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

class LongTaskCancelTest : public QObject {
    Q_OBJECT
private slots:
    void cancelReachesTheWorkAndOtherWindowsWait()
    {
        QPushButton other(QStringLiteral("其他"));
        other.show();
        int otherClicks = 0;
        connect(&other, &QPushButton::clicked, [&] { ++otherClicks; });

        std::atomic<bool> cancel{false};
        QStringList buttons;
        bool clicked = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* p = progressShown();
            if (!p || clicked)
                return;
            QTest::mouseClick(&other, Qt::LeftButton);  // swallowed: the work is still running
            for (QPushButton* b : p->findChildren<QPushButton*>()) {
                buttons << b->text();
                if (b->text() == QStringLiteral("取消")) {
                    clicked = true;
                    QTest::mouseClick(b, Qt::LeftButton);
                }
            }
        });
        poll.start(20);
        LongTask task;
        task.label = QStringLiteral("正在打印……");
        task.cancel = &cancel;
        bool sawCancel = false;
        task.work = [&](std::atomic<int>& percent) {
            percent = 10;
            waitForCancel(&cancel, 20000);
            sawCancel = cancel.load();
        };
        runLongTask(&other, task);
        poll.stop();
        QVERIFY(clicked && sawCancel);
        QCOMPARE(buttons, QStringList{QStringLiteral("取消")});
        QCOMPARE(otherClicks, 0);
        QTest::mouseClick(&other, Qt::LeftButton);  // and taken again once it is over
        QCOMPARE(otherClicks, 1);

        // Without a flag: no button, and the work runs to its end.
        QStringList noButtons;
        bool looked = false;
        connect(&poll, &QTimer::timeout, [&] {
            if (QProgressDialog* p = progressShown(); p && !looked) {
                looked = true;
                for (QPushButton* b : p->findChildren<QPushButton*>())
                    if (b->isVisible())
                        noButtons << b->text();
            }
        });
        poll.start(20);
        LongTask plain;
        plain.label = QStringLiteral("正在保存……");
        plain.work = [](std::atomic<int>&) { waitForCancel(nullptr, 800); };
        runLongTask(&other, plain);
        QVERIFY(looked);
        QVERIFY(noButtons.isEmpty());
    }

    void steppedWorkTurnsTheLoopAndStopsOnCancel()
    {
        // A modal window open before the work (the preview it came from)
        // waits too; one opened during the work (a question) takes clicks.
        const auto modal = [](const QString& caption, int* clicks) {
            auto dialog = std::make_unique<QDialog>();
            dialog->setModal(true);
            auto* button = new QPushButton(caption, dialog.get());
            connect(button, &QPushButton::clicked, [clicks] { ++*clicks; });
            dialog->show();
            return std::pair{std::move(dialog), button};
        };
        int earlierClicks = 0, laterClicks = 0;
        auto [earlier, earlierButton] = modal(QStringLiteral("早先"), &earlierClicks);
        bool clicked = false;
        QString label;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* p = progressShown();
            if (!p || clicked)
                return;
            label = p->labelText();
            for (QPushButton* b : p->findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("取消")) {
                    clicked = true;
                    QTest::mouseClick(b, Qt::LeftButton);
                }
        });
        poll.start(20);
        int steps = 0;
        {
            SteppedTask task(nullptr, QStringLiteral("正在生成打印预览……"));
            QTest::mouseClick(earlierButton, Qt::LeftButton);
            auto [later, laterButton] = modal(QStringLiteral("后来"), &laterClicks);
            QTest::mouseClick(laterButton, Qt::LeftButton);
            later.reset();
            // The poll timer runs only while the steps turn the loop.
            for (; steps < 100000 && !task.cancelled(); ++steps) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                task.step(steps / 1000, QStringLiteral("第%1页").arg(steps + 1));
            }
            QVERIFY(task.cancelled() && clicked);
        }
        QVERIFY(steps < 100000);
        QVERIFY2(label.startsWith(QStringLiteral("第")), qPrintable(label));
        QCOMPARE(earlierClicks, 0);
        QCOMPARE(laterClicks, 1);
        QVERIFY(!progressShown());
        QTest::mouseClick(earlierButton, Qt::LeftButton);  // and taken again once it is over
        QCOMPARE(earlierClicks, 1);
    }
};

QTEST_MAIN(LongTaskCancelTest)
#include "long_task_cancel_uitest.moc"
