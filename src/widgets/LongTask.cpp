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

namespace {

// Drops what the user does to any window but the progress window and the
// modal dialogs opened above it (a question the work asks), while the event
// loop runs in full so that 取消 works.
class InputGate : public QObject {
public:
    explicit InputGate(const QWidget* open) : m_open(open) { qApp->installEventFilter(this); }
    ~InputGate() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!event->spontaneous() || !isInput(event->type()))
            return false;
        const auto* widget = qobject_cast<const QWidget*>(watched);
        const QWidget* window = widget ? widget->window() : nullptr;
        return window && window != m_open && !window->isModal();
    }

private:
    static bool isInput(QEvent::Type t)
    {
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }

    const QWidget* m_open;
};

}  // namespace

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
    if (!task.show || task.cancel)
        window = progressWindow(parent, task.label);
    std::unique_ptr<InputGate> gate;
    if (task.cancel) {
        window->setCancelButtonText(QStringLiteral("取消"));
        // Modal once shown, so that the main window stays out of reach; before
        // that the gate keeps input away.
        window->setWindowModality(Qt::WindowModal);
        QObject::connect(window.get(), &QProgressDialog::canceled, window.get(),
                         [cancel = task.cancel] { cancel->store(true); });
        gate = std::make_unique<InputGate>(window.get());
    }
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
        if (window)
            window->setValue(shown);
    });
    ticker.start(50);
    loop.exec(task.cancel ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    worker.join();
    ticker.stop();
    if (window)
        window->close();
    QApplication::restoreOverrideCursor();
}

}  // namespace qv
