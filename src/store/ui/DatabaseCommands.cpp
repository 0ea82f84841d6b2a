#include "store/ui/DatabaseCommands.h"

#include "store/Database.h"
#include "store/DatabaseFile.h"
#include "store/Maintenance.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"

#include <QWidget>

#include <algorithm>

namespace qv {

namespace {
// Level-9 deflate gets through about this many image bytes a millisecond
// here; it lets the progress move while the one compression call runs.
constexpr double kDeflateBytesPerMs = 10000.0;
}  // namespace

DatabaseCommands::DatabaseCommands(Database& db, QWidget* window) : QObject(window), m_db(db), m_window(window) {}

bool DatabaseCommands::saveDatabase()
{
    // Compressing a large database takes seconds: it runs beside the event
    // loop, and nothing may change the image meanwhile.
    SaveReport report;
    const double expectedMs = std::max(1.0, double(m_db.image.size()) / kDeflateBytesPerMs);
    LongTask task;
    task.label = QStringLiteral("正在保存数据库……");
    task.work = [&](std::atomic<int>& percent) { report = m_db.save([&percent](int p) { percent = p; }); };
    task.estimate = [expectedMs](qint64 ms) {
        return std::min(kCompressPercent - 1, int(kCompressPercent * double(ms) / expectedMs));
    };
    m_saving = true;
    runLongTask(m_window, task);
    m_saving = false;
    m_db.notifyRelocated(report.relocation);
    emit saveFinished();
    if (!report.ok) {
        // The message already says what became of the old file.
        showError(m_window,
                  QStringLiteral("%1。\n\n数据库没有保存；所做的修改仍在程序中，没有丢失。").arg(report.message));
        return false;
    }
    if (!report.preservedAs.isEmpty())
        showMessage(m_window,
                    QStringLiteral("数据库已保存。原来损坏的文件已改名为“%1”保留。").arg(report.preservedShown));
    return true;
}

void DatabaseCommands::mmsaveClick() { saveDatabase(); }

void DatabaseCommands::mmcompresClick()
{
    if (m_db.ModifiedFlag && !saveDatabase())
        return;
    compactEntries(m_db);
    emit entriesRearranged();
    showMessage(m_window, QStringLiteral("数据库压缩完毕！"));
}

void DatabaseCommands::mmrecoverClick()
{
    if (m_db.ModifiedFlag && !saveDatabase())
        return;
    const RecoveryResult result = recoverEntries(m_db);
    const bool saved = saveDatabase();
    emit entriesRearranged();
    if (!saved)
        return;
    if (result.count > 0)
        showMessage(m_window, QStringLiteral("共恢复数据%1条").arg(result.count));
}

bool DatabaseCommands::FormCloseQuery()
{
    if (m_saving)
        return false;
    if (!m_db.ModifiedFlag)
        return true;
    switch (askSaveChanges(m_window)) {
    case SaveAnswer::Yes:
        return saveDatabase();  // a failed save keeps the window and the edits
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

}  // namespace qv
