// Long work beside the event loop: the progress window's 取消 reaches the
// work, while clicks on every other window wait; without a cancel flag the
// window offers no button.
#include "widgets/LongTask.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
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
};

QTEST_MAIN(LongTaskCancelTest)
#include "long_task_cancel_uitest.moc"
