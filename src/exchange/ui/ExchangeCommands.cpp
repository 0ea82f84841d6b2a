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
#include <QFile>
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
    QFile file;
    ImportResult result = openImportFile(path, file);
    if (result.failed()) {
        showError(m_window, result.message);
        return;
    }
    // The file is read beside the event loop into a batch; the database
    // changes only once the batch is complete, here on this thread.
    std::atomic<bool> cancel{false};
    ImportBatch batch;
    const AskInitialFn askHere = [this, &cancel](uint8_t lead, uint8_t trail) {
        std::optional<char> answer;
        QMetaObject::invokeMethod(
            m_window, [&] { answer = askDuringImport(lead, trail, cancel); }, Qt::BlockingQueuedConnection);
        return answer;
    };
    LongTask task;
    task.label = QStringLiteral("正在导入……");
    task.cancel = &cancel;
    task.work = [&](std::atomic<int>& percent) {
        result = readImport(
            m_db, file, askHere, batch, [&percent](int p) { percent = p; }, &cancel);
    };
    runLongTask(m_window, task);
    if (result.stop == ImportResult::Cancelled)
        return;
    applyImport(m_db, m_tree->currentNode(), batch, result);
    if (result.changedNothing())
        showError(m_window, result.message);
    else if (result.failed())
        showError(m_window, result.message + QStringLiteral("。\n") + importSummary(result));
    else
        showMessage(m_window, importSummary(result));
}

std::optional<char> ExchangeCommands::askDuringImport(uint8_t lead, uint8_t trail, std::atomic<bool>& cancel)
{
    // The question comes above the progress window, never below it: the
    // window is shown first (a modal window shown later would take the
    // input), and moved out of the question's way, below the middle of the
    // main window where the question shows.
    auto* question = m_window->findChild<QDialog*>(QStringLiteral("frminputpy"));
    if (auto* progress = m_window->findChild<QProgressDialog*>(QStringLiteral("LongTaskProgress"))) {
        const QRect frame = m_window->geometry();
        const int questionHeight = question ? question->height() : 120;
        progress->adjustSize();
        progress->move(frame.center().x() - progress->width() / 2, frame.center().y() + questionHeight / 2 + 24);
        if (!progress->isVisible())
            progress->show();
    }
    const std::optional<char> answer = m_askInitial(lead, trail);
    if (!answer && confirm(m_window, QStringLiteral("没有输入这个字的拼音首字母。是否停止导入？\n"
                                                    "选“确定”停止导入，数据库保持导入前的样子；"
                                                    "选“放弃”不停止，这个字暂不识别，导入继续。")))
        cancel = true;
    return answer;
}
}  // namespace qv
