#pragma once
// The printing commands of the tools menu and the state they share: the
// printer set-up, the printing font and the font dialog's own font. The
// printer (or PDF file), the paper and the font are kept in the user's
// settings for the next run; range and copies hold for this run only.
#include <QFont>
#include <QObject>

#include <memory>
#include <optional>

class QPrinter;
class QWidget;

namespace qv {

struct EntryRowSet;

class PrintCommands : public QObject {
    Q_OBJECT
public:
    explicit PrintCommands(QObject* parent = nullptr);
    ~PrintCommands() override;

    // "打印机设置": the printer dialog (`PrinterSetupDialog1`); what is chosen
    // there holds for the following jobs. Cancelling changes nothing.
    void printerSetup(QWidget* parent);
    // "打印字体设置": `FontDialog1`, opened on the font last confirmed in it
    // (楷体_GB2312 14 pt at first). Confirming sets the printing font.
    void chooseFont(QWidget* parent);
    // "打印": the rows in the order given; "列表框中无打印内容！" for none,
    // the general error box when the job cannot be sent. The job runs beside
    // the event loop with a progress window that can cancel it. True when printed.
    bool printList(QWidget* parent, const EntryRowSet& rows);
    // "打印预览": the pages the job would print, drawn by the same code.
    void printPreview(QWidget* parent, const EntryRowSet& rows);

    // Made on first use: setting up a printer loads the print system, which
    // would otherwise cost every start-up several milliseconds.
    QPrinter& printer();
    // The printing font; empty while it is still the printer's default.
    const std::optional<QFont>& printFont() const { return m_printFont; }

private:
    void restoreSettings();
    void saveSettings() const;

    std::unique_ptr<QPrinter> m_printer;
    std::optional<QFont> m_printFont;
    QFont m_dialogFont;
};

}  // namespace qv
