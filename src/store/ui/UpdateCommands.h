#pragma once
// Keeping the user's copy current with the bundled database: the check at
// start (an unedited copy is replaced, and the window says so once) and
// 工具 › 更新数据, which merges a newer bundle into an edited copy.
#include "store/DataUpdate.h"

#include <QObject>
#include <QString>

class QWidget;

namespace qv {

class Database;
class DatabaseCommands;

class UpdateCommands : public QObject {
    Q_OBJECT
public:
    UpdateCommands(Database& db, DatabaseCommands& saver, QWidget* window);

    // The bundled database in use and whether the database file is the data
    // folder's copy of it (one made before copies were recorded included).
    void setBundledDatabase(const QString& bundled, bool madeFromBundle);
    // Before the database is read: replaces an unedited copy by a newer bundle.
    void beforeLoad();
    // After the window has loaded: says once what the start did.
    void afterLoad();
    const StartUpdate& startUpdate() const { return m_start; }
    // The status bar's note while a newer bundle waits for 更新数据; empty otherwise.
    QString note() const;

    void mmupdateClick();

signals:
    // 更新数据 added, changed or removed places.
    void entriesRearranged();
    void noteChanged(const QString& note);

private:
    Database& m_db;
    DatabaseCommands& m_saver;
    QWidget* m_window;
    QString m_bundled;
    bool m_madeFromBundle = false;
    StartUpdate m_start;
};

}  // namespace qv
