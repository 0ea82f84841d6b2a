#include "widgets/Modal.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace qv {

namespace {
ModalHook& hook()
{
    static ModalHook h;
    return h;
}
}  // namespace

int execModal(QDialog& dialog)
{
    // Focus marks show from the start, not only after the first Tab.
    dialog.setAttribute(Qt::WA_KeyboardFocusChange);
    if (hook()) {
        QPointer<QDialog> d(&dialog);
        // Runs from the dialog's own loop, once it is on screen.
        QTimer::singleShot(0, &dialog, [d] {
            if (d && hook())
                hook()(d);
        });
    }
    return dialog.exec();
}

void setModalHook(ModalHook h) { hook() = std::move(h); }

}  // namespace qv
