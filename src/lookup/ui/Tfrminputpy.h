#pragma once
// Asks for the pinyin initial of a character the program cannot identify.
#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class Tfrminputpy : public QDialog {
    Q_OBJECT
public:
    explicit Tfrminputpy(QWidget* parent);

    // Shows the character (GBK lead and trail byte) and waits; the letter
    // typed, or nullopt when the dialog was closed without 确定. When the
    // reading table knows the character, its readings are shown and the
    // first one's initial stands in the field, selected: Enter takes it,
    // typing replaces it.
    std::optional<char> ask(uint8_t lead, uint8_t trail);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;     // the character asked about
    QLabel* Label3 = nullptr;     // the readings the program knows for it, if any
    QLineEdit* Edit1 = nullptr;   // one letter, shown in upper case
    QPushButton* Button1 = nullptr;

    // Once shown (and the dialog has put the focus on the field, which moves
    // a masked field's cursor), the field's letter is selected.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    int m_plainHeight = 0;
};

}  // namespace qv
