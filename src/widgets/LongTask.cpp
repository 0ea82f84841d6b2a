#include "widgets/LongTask.h"

#include "widgets/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

namespace qv {

namespace {

// Drops what the user does to any window but the progress window and the
// modal dialogs opened above it (a question the work asks), while the event
// loop runs in full so that 取消 works. A modal dialog that was already open
// (the preview the work was started from) waits like the main window.
class InputGate : public QObject {
public:
    explicit InputGate(const QWidget* open) : m_open(open)
    {
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != open)
                m_earlier.insert(w);
        qApp->installEventFilter(this);
    }
    ~InputGate() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!event->spontaneous() || !isInput(event->type()))
            return false;
        const auto* widget = qobject_cast<const QWidget*>(watched);
        const QWidget* window = widget ? widget->window() : nullptr;
        return window && window != m_open && (!window->isModal() || m_earlier.contains(window));
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
    QSet<const QWidget*> m_earlier;
};

// 取消 sets `cancel`; once shown the window is modal, so that the main window
// stays out of reach (before that the gate keeps input away).
void offerCancel(QProgressDialog& window, std::atomic<bool>* cancel)
{
    window.setCancelButtonText(QStringLiteral("取消"));
    window.setWindowModality(Qt::WindowModal);
    QObject::connect(&window, &QProgressDialog::canceled, &window, [cancel] { cancel->store(true); });
}

}  // namespace

struct SteppedTask::State {
    std::unique_ptr<QProgressDialog> window;
    std::unique_ptr<InputGate> gate;
    QElapsedTimer sinceTurn;
};

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
        offerCancel(*window, task.cancel);
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

SteppedTask::SteppedTask(QWidget* parent, const QString& label) : m_state(std::make_unique<State>())
{
    m_state->window = progressWindow(parent, label);
    offerCancel(*m_state->window, &m_cancel);
    m_state->gate = std::make_unique<InputGate>(m_state->window.get());
    QCoreApplication::sendPostedEvents();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_state->sinceTurn.start();
}

SteppedTask::~SteppedTask()
{
    m_state->window->close();
    QApplication::restoreOverrideCursor();
}

void SteppedTask::step(int percent, const QString& label)
{
    // A turn of the loop every 25 ms keeps the windows painted at a small
    // cost: a step (a page) takes well under a millisecond.
    if (m_state->sinceTurn.elapsed() < 25)
        return;
    if (!label.isEmpty())
        m_state->window->setLabelText(label);
    m_state->window->setValue(std::clamp(percent, 0, 99));
    QCoreApplication::processEvents();
    m_state->sinceTurn.restart();
}

}  // namespace qv
