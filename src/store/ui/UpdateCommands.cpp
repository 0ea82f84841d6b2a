#include "store/ui/UpdateCommands.h"

#include "store/Database.h"
#include "store/ui/DatabaseCommands.h"
#include "store/ui/UpdateDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QDir>
#include <QFileInfo>

namespace qv {

UpdateCommands::UpdateCommands(Database& db, DatabaseCommands& saver, QWidget* window)
    : QObject(window), m_db(db), m_saver(saver), m_window(window)
{
}

void UpdateCommands::setBundledDatabase(const QString& bundled, bool madeFromBundle)
{
    m_bundled = bundled;
    m_madeFromBundle = madeFromBundle;
}

void UpdateCommands::beforeLoad()
{
    // The bundled file itself (a reader's fallback) has nothing to catch up with.
    if (m_bundled.isEmpty() || QFileInfo(m_bundled).canonicalFilePath() == QFileInfo(m_db.path()).canonicalFilePath())
        return;
    m_start = updateAtStart(m_db.path(), m_bundled, m_madeFromBundle);
}

void UpdateCommands::afterLoad()
{
    if (m_start.kind == StartUpdate::Replaced)
        showMessage(m_window, m_start.message);
    else if (m_start.kind == StartUpdate::Failed)
        showError(m_window, m_start.message);
    emit noteChanged(note());
}

QString UpdateCommands::note() const
{
    if (m_start.kind != StartUpdate::Offered && m_start.kind != StartUpdate::Failed)
        return QString();
    // A copy of unknown origin may differ only by the user's own edits.
    return m_start.baseKnown ? QStringLiteral("随程序附带的数据有新的版本：工具 › 更新数据")
                             : QStringLiteral("随程序附带的数据与你的数据库不同：工具 › 更新数据");
}

void UpdateCommands::mmupdateClick()
{
    if (m_bundled.isEmpty() || !QFileInfo(m_bundled).isFile()) {
        showMessage(m_window, QStringLiteral("找不到随程序附带的数据库，无法更新。"));
        return;
    }
    const QString file = m_db.path();
    const QByteArray recorded = recordedBundleHash(file);
    const bool isTheBundle = QFileInfo(m_bundled).canonicalFilePath() == QFileInfo(file).canonicalFilePath();
    if (isTheBundle || (!recorded.isEmpty() && recorded == fileSha256(m_bundled))) {
        showMessage(m_window, QStringLiteral("数据已是最新：随程序附带的数据没有新的版本。"));
        return;
    }
    // The merge works on what is saved, and saves its result.
    if (m_db.ModifiedFlag && !m_saver.saveDatabase())
        return;
    Database theirs;
    const LoadReport read = theirs.load(m_bundled);
    if (!read.ok()) {
        showError(m_window, QStringLiteral("无法读取随程序附带的数据库：%1").arg(read.detail));
        return;
    }
    Database base;
    const bool baseKnown = !recorded.isEmpty() && base.load(pristineCopyPath(file)).ok();
    UpdatePlan plan = planUpdate(baseKnown ? &base : nullptr, m_db, theirs);
    if (plan.changes.empty() ||
        plan.count(UpstreamChange::AlreadyThere) == int(plan.changes.size())) {
        const QString why = recordBundledVersion(file, m_bundled);
        m_start.kind = StartUpdate::Nothing;
        emit noteChanged(note());
        if (why.isEmpty())
            showMessage(m_window, QStringLiteral("你的数据已经包含随程序附带的新数据的全部变动。"));
        else
            showError(m_window, why);
        return;
    }
    UpdateDialog dialog(plan, m_window);
    if (execModal(dialog) != QDialog::Accepted)
        return;
    const UpdateResult done = applyUpdate(m_db, theirs, plan);
    emit entriesRearranged();
    // Every change is in memory now; only a saved result stands on the new bundle.
    if (done.total() > 0 && !m_saver.saveDatabase())
        return;
    const QString why = recordBundledVersion(file, m_bundled);
    m_start.kind = StartUpdate::Nothing;
    emit noteChanged(note());
    QString text = QStringLiteral("数据已更新：新增 %1 个地区，修改 %2 个，删除 %3 个。")
                       .arg(done.added)
                       .arg(done.changed)
                       .arg(done.removed);
    if (!why.isEmpty())
        text += QStringLiteral("\n\n不过没能记下新的版本：") + why;
    showMessage(m_window, text);
}

}  // namespace qv
