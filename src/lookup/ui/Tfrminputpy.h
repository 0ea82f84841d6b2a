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
    // typed, or nullopt when the dialog was closed without 确定.
    std::optional<char> ask(uint8_t lead, uint8_t trail);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;     // the character asked about
    QLineEdit* Edit1 = nullptr;   // one letter, shown in upper case
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
};

}  // namespace qv
