#pragma once
// Helpers for widget tests: answering modal dialogs and message boxes as a
// user would, typing Chinese text, and opening a main window on a database
// file made for the test.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace qv {
class Tmainform;
struct DirectoryNode;
}

namespace qvtest {

// A script of answers for the modal windows that will come up, one step per
// window, in order. Each step gets the window as soon as it runs its own
// event loop (through the program's modal hook; nothing is polled).
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    ModalScript();
    ~ModalScript() override;

    // Clicks the button captioned `caption` of the next modal window,
    // recording the window's title and text first.
    ModalScript& click(const QString& caption);
    // Runs any step on the next modal window.
    ModalScript& then(Step step);

    bool finished() const { return m_steps.empty(); }
    int pending() const { return int(m_steps.size()); }
    // Title and text of every message box answered, in order.
    // Windows that came up with no step left for them (closed, and the test
    // failed, rather than left to block it) are listed in `unanswered`.
    QStringList unanswered;
    QStringList titles;
    QStringList texts;
    QStringList icons;  // "none", "question", "critical", "information", "warning"

private:
    void answer(QDialog* modal);
    std::deque<Step> m_steps;
};

// What the 移动到 dialog showed: its text, the directory the choice started
// at, the greyed ones; and whether it was still open after the keys.
struct MoveDialogSeen {
    QString label, start;
    QStringList greyed;
    bool stayedOpen = false;
};
// Answers the next 移动到 dialog with `keys` pressed in its tree, as the
// active window; closes it when they did not.
void answerMoveDialog(ModalScript& script, std::vector<Qt::Key> keys, MoveDialogSeen& seen);

// A menu item or context-menu item of the window by its component name; the
// test fails when there is none.
QAction* action(qv::Tmainform& w, const QString& name);
QMenu* menu(qv::Tmainform& w, const QString& name);

// Clicks the button with this caption inside `w`; false when there is none.
bool clickButton(QWidget* w, const QString& caption);
// Types text (Chinese included) into the focused part of `w` as key events.
void typeText(QWidget* w, const QString& text);
// The texts of column `c` of the list, top to bottom.
QStringList listedColumn(qv::Tmainform& w, int c);
// The in-place editor the tree has open, if any.
QLineEdit* treeEditor(qv::Tmainform& w);
// Types over the whole caption in the tree's open editor (the test fails
// when none is open), then ends the edit with `key`.
void typeCaption(qv::Tmainform& w, const QString& text, Qt::Key key = Qt::Key_Return);

// Builds the image and writes it as kvrn.dat in a temporary folder.
struct TempDatabase {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("kvrn.dat")); }
};

// A main window on `path`, created and loaded as at start-up (FormCreate);
// shown so that views have geometry.
std::unique_ptr<qv::Tmainform> openMainWindow(const QString& path, bool show = true);

// Writes `image` as kvrn.dat in a new temporary folder (kept in `holder`)
// and opens a main window on it; nullptr when the file cannot be written.
std::unique_ptr<qv::Tmainform> openOnImage(std::unique_ptr<TempDatabase>& holder, const std::vector<uint8_t>& image);

// The first directory (in tree order) captioned `utf8`, or nullptr.
qv::DirectoryNode* findNode(qv::Tmainform& w, const char* utf8);
// A click on the node in the tree, as the user selects a directory.
void clickNode(qv::Tmainform& w, qv::DirectoryNode* n, Qt::MouseButton button = Qt::LeftButton);

}  // namespace qvtest
