#pragma once
// The program's message boxes: plain messages, confirmations, the save
// question at exit and the general error box.
#include <QString>
#include <QStringList>

class QWidget;

namespace qv {

extern const char* const kApplicationTitle;  // "Qarvenda"

// A plain message: the application title as caption, no icon, one "确定".
void showMessage(QWidget* parent, const QString& text);

// Caption "确认", question icon, "确定" and "放弃"; true for 确定.
bool confirm(QWidget* parent, const QString& text);

// A question with buttons of its own, the first the default and the last the
// one Esc chooses: caption "确认" with the question icon, or "警告" with the
// warning icon. The index of the button chosen.
int askChoice(QWidget* parent, const QString& text, const QStringList& buttons, bool warning = false);

enum class SaveAnswer { Yes, No, Cancel };
// "数据库已修改,是否保存?" with "(&Y)是", "(&N)否" and "放弃".
SaveAnswer askSaveChanges(QWidget* parent);

// The general error box: application title, error icon, one button. A
// "." is added when the text ends in a character after "." ("。" after a
// Chinese character; nothing after Chinese sentence punctuation).
void showError(QWidget* parent, const QString& text);
QString errorBoxText(const QString& text);

}  // namespace qv
