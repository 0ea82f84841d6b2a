#include "widgets/LongTask.h"

#include "widgets/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

namespace qv {

namespace {

// Drops what the user does to any window but the progress window, while the
// event loop runs in full so that its 取消 button works.
class InputGate : public QObject {
public:
    explicit InputGate(const QWidget* open) : m_open(open) { qApp->installEventFilter(this); }
    ~InputGate() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (!event->spontaneous() || !isInput(event->type()))
            return false;
        const auto* widget = qobject_cast<const QWidget*>(target);
        const bool toOpen = m_open && widget && (widget == m_open || m_open->isAncestorOf(widget));
        return !toOpen;
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
    if (task.cancel && window) {
        window->setCancelButtonText(QStringLiteral("取消"));
        QObject::connect(window.get(), &QProgressDialog::canceled, &loop, [&task] { task.cancel->store(true); });
        InputGate gate(window.get());
        loop.exec();
    } else {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
    ticker.stop();
    if (window)
        window->close();
    QApplication::restoreOverrideCursor();
}

}  // namespace qv
