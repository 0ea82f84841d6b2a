#pragma once
// The two dialogs for one place: 增加新信息 (kept for the whole run, stays open
// for the next place) and 修改信息 (made anew for each edit).
#include "entries/EntryEditing.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

// Base of both dialogs: 名称, 邮编 and 区号 fields limited in GBK bytes.
class EntryDialog : public QDialog {
    Q_OBJECT
public:
    // Called with the three texts when 确定 is pressed.
    using ConfirmFn = std::function<void(const EntryText&)>;

    EntryDialog(const QString& caption, QSize clientSize, QWidget* parent);
    void setOnConfirm(ConfirmFn fn) { m_onConfirm = std::move(fn); }
    void setTexts(const EntryText& text);
    EntryText texts() const;

    QLineEdit* Edtmc = nullptr;      // name, 25 bytes
    QLineEdit* Edtyb = nullptr;      // postcode or time difference, 8 bytes
    QLineEdit* Edtqh = nullptr;      // area code, 5 bytes
    QPushButton* Button1 = nullptr;  // 确定
    QPushButton* Button2 = nullptr;  // 取消

    // Why the last typed text was refused (a character without a GBK form, or
    // over the field's length); empty when nothing was refused.
    const QString& lastRefusal() const { return m_lastRefusal; }

protected:
    virtual void Button1Click() = 0;
    void Button2Click() { reject(); }
    // Hands the texts on; false (with a message) when a changed field holds
    // a character that cannot be stored.
    bool confirmTexts();

private:
    void refused(QLineEdit* field, const QString& why);

    ConfirmFn m_onConfirm;
    QString m_lastRefusal;
    // The texts given by setTexts, as bytes and as shown in the fields.
    EntryText m_given;
    QString m_shown[3];
};

class TFrmAddInf : public EntryDialog {
    Q_OBJECT
public:
    explicit TFrmAddInf(QWidget* parent);

protected:
    void Button1Click() override;
};

class TFrmEditInf : public EntryDialog {
    Q_OBJECT
public:
    explicit TFrmEditInf(QWidget* parent);

protected:
    void Button1Click() override;
};

}  // namespace qv
