#include "widgets/LongTask.h"

#include "widgets/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

namespace qv {

std::unique_ptr<QProgressDialog> progressWindow(QWidget* parent, const QString& label)
{
    auto window = std::make_unique<QProgressDialog>(label, QString(), 0, 100, parent);
    window->setObjectName(QStringLiteral("LongTaskProgress"));
    window->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    window->setMinimumDuration(300);
    window->setAutoClose(false);
    window->setValue(0);
    if (auto* bar = window->findChild<QProgressBar*>())
        bar->setAccessibleName(label);
    return window;
}

void runLongTask(QWidget* parent, const LongTask& task)
{
    std::unique_ptr<QProgressDialog> window;
    if (!task.show)
        window = progressWindow(parent, task.label);
    // Edits already on their way (a caption just typed) land before the work starts.
    QCoreApplication::sendPostedEvents();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::atomic<int> percent{0};
    QEventLoop loop;
    std::thread worker([&] {
        task.work(percent);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        int shown = percent.load();
        if (task.estimate)
            shown = std::max(shown, task.estimate(clock.elapsed()));
        shown = std::clamp(shown, 0, 99);
        if (task.show)
            task.show(shown);
        else
            window->setValue(shown);
    });
    ticker.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    ticker.stop();
    if (window)
        window->close();
    QApplication::restoreOverrideCursor();
}

}  // namespace qv
