#pragma once
// The commands that belong to no subsystem: 关于, 我的主页, 给我写信, 帮助 and
// 桌面快捷.
#include <QObject>

class QWidget;

namespace qv {

class TForm_about;

class ShellCommands : public QObject {
    Q_OBJECT
public:
    explicit ShellCommands(QWidget* window);

    void N12Click();  // 关于
    void mmhomepageClick();
    void mmemailClick();
    void N14Click();  // 帮助
    void mmlinkClick();

    // The about box, kept hidden for the whole run.
    TForm_about* aboutBox();

private:
    QWidget* m_window;
    TForm_about* m_about = nullptr;
};

}  // namespace qv
