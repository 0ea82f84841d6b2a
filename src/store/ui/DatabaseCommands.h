#pragma once
// 保存, 压缩数据库, 恢复数据库 and the question asked when the window closes.
#include <QObject>

class QWidget;

namespace qv {

class Database;

class DatabaseCommands : public QObject {
    Q_OBJECT
public:
    DatabaseCommands(Database& db, QWidget* window);

    void mmsaveClick();
    void mmcompresClick();
    void mmrecoverClick();
    // Saves with progress; shows the error and returns false on failure.
    bool saveDatabase();
    // Asks to save when something changed; false keeps the window open.
    bool FormCloseQuery();
    // True while a save is writing the tree and the image.
    bool isSaving() const { return m_saving; }

signals:
    // A save has ended (whether or not it succeeded) and the image may change again.
    void saveFinished();
    // 压缩数据库 or 恢复数据库 has moved, purged or brought back records.
    void entriesRearranged();

private:
    Database& m_db;
    QWidget* m_window;
    bool m_saving = false;
};

}  // namespace qv
