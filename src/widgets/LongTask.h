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

// The program's progress window: titled like every box, shown only when the
// work takes a while. Also for work that must stay on this thread.
std::unique_ptr<QProgressDialog> progressWindow(QWidget* parent, const QString& label);

}  // namespace qv
