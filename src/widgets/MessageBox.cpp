#include "widgets/MessageBox.h"

#include "widgets/Modal.h"

#include <QMessageBox>
#include <QPushButton>

namespace qv {

const char* const kApplicationTitle = "Qarvenda";

namespace {
QString title() { return QString::fromLatin1(kApplicationTitle); }
}  // namespace

void showMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    execModal(box);
}

bool confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("放弃"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    execModal(box);
    return box.clickedButton() == ok;
}

SaveAnswer askSaveChanges(QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), QStringLiteral("数据库已修改,是否保存?"),
                    QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("(&Y)是"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("(&N)否"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("放弃"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    execModal(box);
    if (box.clickedButton() == yes)
        return SaveAnswer::Yes;
    if (box.clickedButton() == no)
        return SaveAnswer::No;
    return SaveAnswer::Cancel;
}

QString errorBoxText(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QChar last = text.back();
    static const QString sentenceEnds = QStringLiteral("。！？…」』）”");
    if (last > QLatin1Char('.') && !sentenceEnds.contains(last))
        return text + QLatin1Char('.');
    return text;
}

void showError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title(), errorBoxText(text), QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    execModal(box);
}

}  // namespace qv
