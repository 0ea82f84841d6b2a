#include "exchange/ui/ExchangeCommands.h"

#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/ui/TForm_export.h"
#include "lookup/ui/EntryListModel.h"
#include "tree/ui/DirectoryTreeView.h"
#include "widgets/DesktopOpener.h"
#include "widgets/FileDialog.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QUrl>
#include <QWidget>

namespace qv {

ExchangeCommands::ExchangeCommands(Database& db, DirectoryTreeView* tree, const EntryListModel* list,
                                   AskInitialFn askInitial, QWidget* window)
    : QObject(window), m_db(db), m_tree(tree), m_list(list), m_askInitial(std::move(askInitial)), m_window(window)
{
}

TForm_export* ExchangeCommands::exportDialog()
{
    if (!m_exportDialog) {
        m_exportDialog = new TForm_export(m_window);
        connect(m_exportDialog, &TForm_export::exportRequested, this, &ExchangeCommands::runExport);
    }
    return m_exportDialog;
}

void ExchangeCommands::mmexportClick() { execModal(*exportDialog()); }

void ExchangeCommands::runExport(ExportRange range, ExportFormat format)
{
    const ExportSource source = range == ExportRange::AllRecords ? ExportSource::allRecords(m_db.image)
                                                                 : ExportSource::currentList(m_list->rowSet());
    // The text goes to the working folder, the workbook beside the program when it may.
    const QString path = format == ExportFormat::Text
                             ? QFileInfo(QString::fromLatin1(kTextExportName)).absoluteFilePath()
                             : workbookExportPath(QCoreApplication::applicationDirPath(), QDir::currentPath());
    ExportResult result;
    TForm_export* dialog = exportDialog();
    LongTask task;
    task.label = QStringLiteral("正在导出……");
    task.work = [&](std::atomic<int>& percent) {
        const ProgressFn progress = [&percent](int p) { percent = p; };
        result = format == ExportFormat::Text ? writeTextFile(source, path, progress)
                                              : writeWorkbook(source, path, progress);
    };
    task.show = [dialog](int percent) { dialog->setProgress(percent); };
    runLongTask(m_window, task);

    switch (result.status) {
    case ExportResult::Written:
        dialog->setProgress(100);
        dialog->showWrittenFile(path);
        DesktopOpener::system().open(QUrl::fromLocalFile(path));
        break;
    case ExportResult::NothingToExport:
        break;
    case ExportResult::CannotStart:
    case ExportResult::TooManyRows:
        showMessage(dialog, result.message);
        break;
    case ExportResult::Failed:
        showError(dialog, result.message);
        break;
    }
}

void ExchangeCommands::mmimportClick()
{
    const QString path = chooseFileToOpen(m_window, QStringLiteral("导入数据"),
                                          {QStringLiteral("文本文件(*.txt)"), QStringLiteral("所有文件(*.*)")});
    if (path.isEmpty())
        return;
    // The import asks about unknown initials as it goes, so it runs here;
    // the progress window keeps the main window painted meanwhile.
    const auto progress = progressWindow(m_window, QStringLiteral("正在导入……"));
    progress->setWindowModality(Qt::WindowModal);  // so that each step repaints
    const ImportResult result = importTextFile(m_db, path, m_tree->currentNode(), m_askInitial,
                                               [&progress](int p) { progress->setValue(p); });
    progress->close();
    if (result.failed())
        showError(m_window, result.message);
}

}  // namespace qv
