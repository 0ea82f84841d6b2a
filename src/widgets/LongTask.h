#pragma once
// Long work (a save, an export, an import) beside the event loop: the window
// stays painted and shows progress while user input waits until it is over.
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace qv {

struct LongTask {
    QString label;  // what the progress window says
    // Runs on a worker thread; stores 0..100 into `percent` now and then.
    std::function<void(std::atomic<int>& percent)> work;
    // Optional: the percent to show after `elapsedMs` when the work itself
    // cannot report (one long library call); the larger of both is shown.
    std::function<int(qint64 elapsedMs)> estimate;
    // Optional: where the progress shows (a dialog's own bar); without it a
    // progress window of its own comes up when the work takes a while.
    std::function<void(int percent)> show;
    std::atomic<bool>* cancel = nullptr;  // optional: the progress window offers 取消, which sets it
};

// Returns when the work has finished. With `cancel` the work is asked to stop
// early through it; the window with 取消 then takes clicks and keys (and so do
// modal dialogs the work opens on this thread) while every other window waits.
void runLongTask(QWidget* parent, const LongTask& task);

// Long work that must stay on this thread (drawing on a paint device that
// lives here), in small steps. While it lives, the progress window with 取消
// comes up when the work takes a while, and step() now and then turns the
// event loop so that the windows stay painted; only the progress window
// takes input meanwhile, as in runLongTask with `cancel`.
class SteppedTask {
public:
    SteppedTask(QWidget* parent, const QString& label);
    ~SteppedTask();
    SteppedTask(const SteppedTask&) = delete;
    SteppedTask& operator=(const SteppedTask&) = delete;

    // After each step: `percent` (0..100) done; a `label` replaces the text.
    void step(int percent, const QString& label = QString());
    // Set by 取消; the work stops at its next step.
    const std::atomic<bool>& cancel() const { return m_cancel; }
    bool cancelled() const { return m_cancel.load(); }

private:
    struct State;
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<State> m_state;
};

// The program's progress window: titled like every box, shown only when the
// work takes a while. Also for work that must stay on this thread.
std::unique_ptr<QProgressDialog> progressWindow(QWidget* parent, const QString& label);

}  // namespace qv
