#pragma once
// Every modal window of the program (message boxes, dialogs, file and
// printer choosers) is run through execModal. Tests install a hook that is
// called once inside the window's own event loop, as soon as it shows, so
// they can answer it without watching for windows.
#include <functional>

class QDialog;

namespace qv {

using ModalHook = std::function<void(QDialog* dialog)>;

int execModal(QDialog& dialog);
// An empty hook removes it.
void setModalHook(ModalHook hook);

}  // namespace qv
