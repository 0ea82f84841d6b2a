#include "store/ui/DatabaseCommands.h"

#include "store/Database.h"
#include "store/DatabaseFile.h"
#include "store/Maintenance.h"
#include "widgets/FileDialog.h"
#include "widgets/LongTask.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>
#include <unistd.h>

namespace qv {

namespace {
// Level-9 deflate gets through about this many image bytes a millisecond
// here; it lets the progress move while the one compression call runs.
constexpr double kDeflateBytesPerMs = 10000.0;

QString shown(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }

QString ownerText(const FileLock::Owner& owner)
{
    if (owner.pid <= 0)
        return QString();
    return owner.host.isEmpty() ? QStringLiteral("（进程 %1）").arg(owner.pid)
                                : QStringLiteral("（进程 %1，主机 %2）").arg(owner.pid).arg(owner.host);
}

// A folder this user may write in, for a name the save dialog suggests.
QString writableFolder(const QString& databasePath)
{
    const QString own = QFileInfo(databasePath).absolutePath();
    if (access(QFile::encodeName(own).constData(), W_OK) == 0)
        return own;
    return QDir::homePath();
}
}  // namespace

DatabaseCommands::DatabaseCommands(Database& db, QWidget* window) : QObject(window), m_db(db), m_window(window) {}

void DatabaseCommands::claimDatabase()
{
    if (isReadOnly())
        return;
    const WriteTarget target = resolveWriteTarget(m_db.path());
    if (!target.problem.isEmpty())
        return;  // never saved through; the load says why
    switch (m_lock.acquire(target.file)) {
    case FileLock::State::Taken:
        // Nothing else writes this file now but a window opened anyway,
        // whose save in progress keeps its temporary file marked.
        removeStaleTemporaries(target.file);
        return;
    case FileLock::State::Unavailable:
        // A folder that takes no lock file takes no save either (or only in
        // place); the check before each save still guards the file.
        return;
    case FileLock::State::Held:
        break;
    }
    const QString why = QStringLiteral("数据库文件“%1”已在另一个窗口中打开%2")
                            .arg(shown(target.file), ownerText(m_lock.owner()));
    const int choice = askChoice(
        m_window,
        why + QStringLiteral("。\n\n只读打开：可以查看和查找；修改只能另存为另一个文件。\n"
                             "仍然打开：两个窗口都能保存；保存前会检查文件是否已被另一个窗口改过。"),
        {QStringLiteral("只读打开"), QStringLiteral("仍然打开")});
    if (choice == 0)
        setReadOnly(why);
}

void DatabaseCommands::setReadOnly(const QString& why)
{
    m_db.setReadOnly(why);
    emit readOnlyChanged(why);
}

bool DatabaseCommands::isReadOnly() const { return !m_db.readOnlyReason().isEmpty(); }

bool DatabaseCommands::runSave(const QString& as)
{
    // Compressing a large database takes seconds: it runs beside the event
    // loop, and nothing may change the image meanwhile.
    SaveReport report;
    const double expectedMs = std::max(1.0, double(m_db.image.size()) / kDeflateBytesPerMs);
    LongTask task;
    task.label = QStringLiteral("正在保存数据库……");
    task.work = [&](std::atomic<int>& percent) {
        const ProgressFn progress = [&percent](int p) { percent = p; };
        report = as.isEmpty() ? m_db.save(progress) : m_db.saveAs(as, progress);
    };
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

bool DatabaseCommands::saveDatabase()
{
    if (isReadOnly()) {
        const int choice = askChoice(m_window,
                                     QStringLiteral("数据库以只读方式打开，不能保存到原来的文件：%1。\n\n"
                                                    "要保留所做的修改，请另存为一个可以写入的文件。")
                                         .arg(m_db.readOnlyReason()),
                                     {QStringLiteral("另存为…"), QStringLiteral("取消")});
        return choice == 0 && saveAs();
    }
    if (m_db.changedOnDisk()) {
        const int choice = askChoice(
            m_window,
            QStringLiteral("数据库文件“%1”在本窗口读入之后已被改过（也许是另一个窗口保存了它）。\n"
                           "直接保存会覆盖那些修改。\n\n"
                           "另存为：把本窗口的数据存到另一个文件，原文件不动。\n"
                           "覆盖：用本窗口的数据替换文件中的数据。\n"
                           "取消：什么也不写，所做的修改仍在程序中。")
                .arg(shown(m_db.path())),
            {QStringLiteral("另存为…"), QStringLiteral("覆盖"), QStringLiteral("取消")}, true);
        if (choice == 0)
            return saveAs();
        if (choice != 1)
            return false;
    }
    return runSave();
}

bool DatabaseCommands::saveAs()
{
    const QString folder = writableFolder(m_db.path());
    QString suggested = QDir(folder).filePath(QStringLiteral("kvrn.dat"));
    for (int i = 2; QFileInfo::exists(suggested) || QFileInfo(suggested).isSymLink(); ++i)
        suggested = QDir(folder).filePath(QStringLiteral("kvrn-%1.dat").arg(i));
    const QString path = chooseFileToSave(m_window, QStringLiteral("另存为"),
                                          {QStringLiteral("数据库文件(*.dat)"), QStringLiteral("所有文件(*)")},
                                          suggested);
    if (path.isEmpty())
        return false;
    const WriteTarget target = resolveWriteTarget(path);
    if (target.file == resolveWriteTarget(m_db.path()).file) {
        showMessage(m_window, QStringLiteral("“%1”就是本窗口打开的数据库文件，请另选一个名字。").arg(shown(path)));
        return false;
    }
    if ((QFileInfo::exists(path) || QFileInfo(path).isSymLink()) &&
        !confirm(m_window, QStringLiteral("“%1”已经存在，要替换它吗？").arg(shown(path))))
        return false;
    FileLock lock;
    if (target.problem.isEmpty() && lock.acquire(target.file) == FileLock::State::Held) {
        showError(m_window, QStringLiteral("“%1”已在另一个窗口中打开%2，不能另存为这个文件")
                                .arg(shown(target.file), ownerText(lock.owner())));
        return false;
    }
    const bool wasReadOnly = isReadOnly();
    if (!runSave(path))
        return false;  // the lock taken for the new name goes with `lock`
    m_lock = std::move(lock);
    if (wasReadOnly)
        emit readOnlyChanged(QString());
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
