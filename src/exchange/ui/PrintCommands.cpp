#include "exchange/ui/PrintCommands.h"

#include "exchange/ui/ListPrinter.h"
#include "lookup/EntryRows.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace qv {

PrintCommands::PrintCommands(QObject* parent) : QObject(parent), m_dialogFont(QStringLiteral("楷体_GB2312"), 14) {}

PrintCommands::~PrintCommands() = default;

QPrinter& PrintCommands::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void PrintCommands::printerSetup(QWidget* parent)
{
    QPrintDialog dialog(&printer(), parent);
    dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
    dialog.setWindowTitle(QStringLiteral("打印机设置"));
    // A set-up, not a job: no page ranges, and the button confirms rather than prints.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("确定"));
    execModal(dialog);
}

void PrintCommands::chooseFont(QWidget* parent)
{
    // The dialog lists real faces only: show the one a Windows name such as
    // 楷体_GB2312 stands for here.
    QFont shown = m_dialogFont;
    if (!QFontDatabase::hasFamily(shown.family()))
        shown.setFamily(QFontInfo(shown).family());
    QFontDialog dialog(shown, parent);
    dialog.setObjectName(QStringLiteral("FontDialog1"));
    // Qt's own dialog: the same on every desktop, and in Chinese.
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    if (execModal(dialog) != QDialog::Accepted)
        return;
    m_dialogFont = dialog.selectedFont();
    // Size, name and style; colour and character set stay the printer's.
    QFont font;
    font.setPointSizeF(m_dialogFont.pointSizeF());
    font.setFamily(m_dialogFont.family());
    font.setWeight(m_dialogFont.weight());
    font.setItalic(m_dialogFont.italic());
    font.setUnderline(m_dialogFont.underline());
    font.setStrikeOut(m_dialogFont.strikeOut());
    m_printFont = font;
}

bool PrintCommands::printList(QWidget* parent, const EntryRowSet& rows)
{
    if (rows.rows.empty()) {
        showMessage(parent, QStringLiteral("列表框中无打印内容！"));
        return false;
    }
    const QString error = printEntryRows(printer(), m_printFont, rows);
    if (!error.isEmpty()) {
        showError(parent, error);
        return false;
    }
    return true;
}

}  // namespace qv
