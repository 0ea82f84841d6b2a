#include "widgets/Modal.h"

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace qv {

namespace {
ModalHook& hook()
{
    static ModalHook h;
    return h;
}

// Calls the hook from the dialog's own loop, once it is on screen: posted
// when the dialog shows, since a dialog may turn the event loop while it
// gets ready (the print preview draws its pages).
class ShowWatch : public QObject {
public:
    explicit ShowWatch(QDialog& dialog) : m_dialog(&dialog)
    {
        if (dialog.isVisible())
            post();
        else
            dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show) {
            m_dialog->removeEventFilter(this);
            post();
        }
        return false;
    }

private:
    void post()
    {
        QTimer::singleShot(0, m_dialog, [d = m_dialog] {
            if (d && hook())
                hook()(d);
        });
    }

    QPointer<QDialog> m_dialog;
};

}  // namespace

int execModal(QDialog& dialog)
{
    // Focus marks show from the start, not only after the first Tab.
    dialog.setAttribute(Qt::WA_KeyboardFocusChange);
    std::optional<ShowWatch> watch;
    if (hook())
        watch.emplace(dialog);
    return dialog.exec();
}

void setModalHook(ModalHook h) { hook() = std::move(h); }

}  // namespace qv
