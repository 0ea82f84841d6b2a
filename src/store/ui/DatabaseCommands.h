#pragma once
// 保存, 压缩数据库, 恢复数据库 and the question asked when the window closes;
// the one-writer lock on the database file and saving under another name.
#include "store/FileLock.h"

#include <QObject>
#include <QString>

class QWidget;

namespace qv {

class Database;

class DatabaseCommands : public QObject {
    Q_OBJECT
public:
    DatabaseCommands(Database& db, QWidget* window);

    // At start, before the load: takes the file's lock. When another window
    // has the file open, asks whether to open it read-only (the default) or
    // anyway. Temporary files that killed saves left beside it are removed.
    void claimDatabase();
    // Gives the file's lock up when the window has closed.
    void releaseDatabase() { m_lock.release(); }
    bool holdsLock() const { return m_lock.held(); }
    // Opens the database read-only from the start, for this reason.
    void setReadOnly(const QString& why);
    bool isReadOnly() const;

    void mmsaveClick();
    void mmcompresClick();
    void mmrecoverClick();
    // Saves with progress; shows the error and returns false on failure.
    // A read-only database, or a file another program changed since it was
    // read, is not written over without asking: the user may save under
    // another name instead.
    bool saveDatabase();
    // Asks for a file name and saves there; the window works on that file
    // from then on. False when cancelled or failed (the error shown).
    bool saveAs();
    // Asks to save when something changed; false keeps the window open.
    bool FormCloseQuery();
    // True while a save is writing the tree and the image.
    bool isSaving() const { return m_saving; }

signals:
    // A save has ended (whether or not it succeeded) and the image may change again.
    void saveFinished();
    // 压缩数据库 or 恢复数据库 has moved, purged or brought back records.
    void entriesRearranged();
    // The database became read-only (why) or writable again (empty).
    void readOnlyChanged(const QString& why);

private:
    // Runs the save beside the event loop, to the database's own file or,
    // when `as` is given, to that file.
    bool runSave(const QString& as = QString());

    Database& m_db;
    QWidget* m_window;
    bool m_saving = false;
    FileLock m_lock;
};

}  // namespace qv
