#pragma once
class QApplication;
namespace qv {
// Start-up: title, fonts, translations, main window, event loop.
int runApplication(int argc, char** argv);
// Font substitutions, Qt's own Chinese translations and a focus mark that
// shows; shared with tests.
void setUpChineseUi(QApplication& app);
}  // namespace qv
