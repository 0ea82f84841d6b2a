#include "widgets/MessageBox.h"

#include "widgets/Modal.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

namespace qv {

const char* const kApplicationTitle = "Qarvenda";

namespace {
QString title() { return QString::fromLatin1(kApplicationTitle); }

// A box with a short text is as narrow as its text, and the window manager
// then cuts its title short: make room for the whole title and the
// title bar's buttons.
void fitTitle(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 160;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// Runs a box of this program: wide enough for its title.
void run(QMessageBox& box)
{
    fitTitle(box);
    execModal(box);
}
}  // namespace

void showMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    run(box);
}

bool confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("放弃"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    run(box);
    return box.clickedButton() == ok;
}

int askChoice(QWidget* parent, const QString& text, const QStringList& buttons, bool warning)
{
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Question,
                    warning ? QStringLiteral("警告") : QStringLiteral("确认"), text, QMessageBox::NoButton, parent);
    QList<QPushButton*> added;
    for (const QString& caption : buttons)
        added << box.addButton(caption, QMessageBox::AcceptRole);
    if (!added.isEmpty()) {
        box.setDefaultButton(added.first());
        box.setEscapeButton(added.last());
    }
    run(box);
    const int chosen = int(added.indexOf(static_cast<QPushButton*>(box.clickedButton())));
    return chosen < 0 ? int(added.size()) - 1 : chosen;
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
    run(box);
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
    if (last <= QLatin1Char('.') || sentenceEnds.contains(last))
        return text;
    // A system message put after Chinese text ends as a Chinese sentence does.
    if (last.unicode() >= 0x80)
        return text + QStringLiteral("。");
    return text + QLatin1Char('.');
}

void showError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title(), errorBoxText(text), QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    run(box);
}

}  // namespace qv
