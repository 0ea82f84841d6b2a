#include "widgets/LongTask.h"

#include "widgets/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <thread>

namespace qv {

void runLongTask(QWidget* parent, const LongTask& task)
{
    QProgressDialog progress(task.label, QString(), 0, 100, parent);
    progress.setObjectName(QStringLiteral("LongTaskProgress"));
    progress.setWindowTitle(QString::fromLatin1(kApplicationTitle));
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setValue(0);
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
    QObject::connect(&ticker, &QTimer::timeout, &progress, [&] {
        int shown = percent.load();
        if (task.estimate)
            shown = std::max(shown, task.estimate(clock.elapsed()));
        progress.setValue(std::clamp(shown, 0, 99));
    });
    ticker.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    ticker.stop();
    progress.close();
    QApplication::restoreOverrideCursor();
}

}  // namespace qv
