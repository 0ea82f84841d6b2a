#pragma once
// The about box: program and author, with the home page and the mail
// address as links for the mouse, the keyboard and screen readers. Created
// once, shown modally on demand.
#include <QDialog>

class QGroupBox;
class QLabel;

namespace qv {

class DesktopOpener;

class TForm_about : public QDialog {
    Q_OBJECT
public:
    explicit TForm_about(DesktopOpener& opener, QWidget* parent = nullptr);

    // Home-page and mail labels.
    void Label3Click();
    void Label4Click();

    QLabel* Image1 = nullptr;  // the program's icon
    QLabel* Label1 = nullptr;  // 关于Qarvenda
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label2 = nullptr;  // name, version, what it does
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label5 = nullptr;  // author
    QLabel* Label3 = nullptr;  // 主页:
    QLabel* Label4 = nullptr;  // Email:
    QLabel* Label6 = nullptr;  // the notice at the bottom

private:
    DesktopOpener& m_opener;
};

}  // namespace qv
