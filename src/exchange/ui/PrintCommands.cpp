#include "exchange/ui/PrintCommands.h"

#include "exchange/ui/ListPrinter.h"
#include "lookup/EntryRows.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGraphicsView>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSettings>

#include <utility>

namespace qv {

namespace {

const QString kEmptyList = QStringLiteral("列表框中无打印内容！");

// Keys of the user's settings.
const QString kPrinterKey = QStringLiteral("print/printer");
const QString kFileKey = QStringLiteral("print/pdfFile");
const QString kPaperKey = QStringLiteral("print/paper");
const QString kOrientationKey = QStringLiteral("print/orientation");
const QString kFontKey = QStringLiteral("print/font");

}  // namespace

PrintCommands::PrintCommands(QObject* parent) : QObject(parent), m_dialogFont(QStringLiteral("楷体_GB2312"), 14)
{
    const QString font = QSettings().value(kFontKey).toString();
    QFont stored;
    if (!font.isEmpty() && stored.fromString(font)) {
        m_dialogFont = stored;
        m_printFont = stored;
    }
}

PrintCommands::~PrintCommands() = default;

QPrinter& PrintCommands::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        restoreSettings();
    }
    return *m_printer;
}

void PrintCommands::restoreSettings()
{
    const QSettings settings;
    const QString name = settings.value(kPrinterKey).toString();
    const QString file = settings.value(kFileKey).toString();
    // A printer that has gone since leaves the system's default in place.
    if (!name.isEmpty() && QPrinterInfo::availablePrinterNames().contains(name)) {
        m_printer->setOutputFormat(QPrinter::NativeFormat);
        m_printer->setPrinterName(name);
    } else if (!file.isEmpty()) {
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(file);
    }
    bool ok = false;
    const int paper = settings.value(kPaperKey).toInt(&ok);
    if (ok && paper >= 0 && paper <= QPageSize::LastPageSize && paper != QPageSize::Custom)
        m_printer->setPageSize(QPageSize(QPageSize::PageSizeId(paper)));
    const QString orientation = settings.value(kOrientationKey).toString();
    if (orientation == QLatin1String("landscape"))
        m_printer->setPageOrientation(QPageLayout::Landscape);
    else if (orientation == QLatin1String("portrait"))
        m_printer->setPageOrientation(QPageLayout::Portrait);
}

void PrintCommands::saveSettings() const
{
    QSettings settings;
    if (m_printer) {
        const bool toFile = m_printer->outputFormat() == QPrinter::PdfFormat;
        settings.setValue(kPrinterKey, toFile ? QString() : m_printer->printerName());
        settings.setValue(kFileKey, toFile ? m_printer->outputFileName() : QString());
        if (m_printer->pageLayout().pageSize().id() != QPageSize::Custom)
            settings.setValue(kPaperKey, int(m_printer->pageLayout().pageSize().id()));
        settings.setValue(kOrientationKey, m_printer->pageLayout().orientation() == QPageLayout::Landscape
                                               ? QStringLiteral("landscape")
                                               : QStringLiteral("portrait"));
    }
    if (m_printFont)
        settings.setValue(kFontKey, m_printFont->toString());
}

void PrintCommands::printerSetup(QWidget* parent)
{
    QPrintDialog dialog(&printer(), parent);
    dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
    dialog.setWindowTitle(QStringLiteral("打印机设置"));
    // A set-up for the jobs to come: the button confirms rather than prints.
    // Offered is what the print applies: a page range, copies, collation and
    // order; no selection and no current page, which a list has not.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCollateCopies);
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("确定"));
    // Qt names the page fields after their group ("打印范围"), and the file
    // button by its "..."; a screen reader should tell what each is for.
    for (const auto& [object, name] :
         {std::pair{"from", "起始页"}, std::pair{"to", "结束页"}, std::pair{"pagesLineEdit", "要打印的页码"},
          std::pair{"fileBrowser", "选择输出文件"}})
        if (auto* w = dialog.findChild<QWidget*>(QLatin1String(object)))
            w->setAccessibleName(QString::fromUtf8(name));
    if (execModal(dialog) == QDialog::Accepted)
        saveSettings();
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
    saveSettings();
}

bool PrintCommands::printList(QWidget* parent, const EntryRowSet& rows)
{
    if (rows.rows.empty()) {
        showMessage(parent, kEmptyList);
        return false;
    }
    QPrinter& target = printer();
    std::atomic<bool> cancel{false};
    PrintResult result;
    LongTask task;
    task.label = QStringLiteral("正在打印……");
    task.cancel = &cancel;
    task.work = [&](std::atomic<int>& percent) {
        PrintControl control;
        control.cancel = &cancel;
        control.pageDone = [&percent](size_t done, size_t total) { percent = int(done * 100 / total); };
        result = printEntryRows(target, m_printFont, rows, control);
    };
    runLongTask(parent, task);
    if (!result.error.isEmpty())
        showError(parent, result.error);
    return result.ok();
}

void PrintCommands::printPreview(QWidget* parent, const EntryRowSet& rows)
{
    if (rows.rows.empty()) {
        showMessage(parent, kEmptyList);
        return;
    }
    QPrintPreviewDialog dialog(&printer(), parent);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) {
        // The preview draws into pictures; printing from its tool bar is a
        // job like "打印", with its progress window.
        if (!p->paintEngine() || p->paintEngine()->type() != QPaintEngine::Picture) {
            printList(&dialog, rows);
            return;
        }
        // The preview widget takes every page at once, drawn on this thread;
        // the windows stay painted meanwhile, and 取消 shows the pages drawn
        // so far. The pages of an earlier drawing go when this one begins:
        // the view lets go of them first, so that no repaint meets them.
        auto* view = dialog.findChild<QGraphicsView*>();
        QGraphicsScene* scene = view ? view->scene() : nullptr;
        if (view)
            view->setScene(nullptr);
        PreviewPages pages;
        {
            const QString label = QStringLiteral("正在生成打印预览……");
            SteppedTask task(dialog.isVisible() ? &dialog : parent, label);
            PrintControl control;
            control.cancel = &task.cancel();
            control.pageDone = [&](size_t done, size_t total) {
                task.step(int(done * 100 / total), label + QStringLiteral("\n第%1页，共%2页").arg(done).arg(total));
            };
            pages = previewEntryRows(*p, m_printFont, rows, control);
        }
        if (view)
            view->setScene(scene);
        dialog.setWindowTitle(
            pages.drawn < pages.total
                ? QStringLiteral("打印预览（已取消，只显示前%1页，共%2页）").arg(pages.drawn).arg(pages.total)
                : QStringLiteral("打印预览"));
    });
    execModal(dialog);
}

}  // namespace qv
