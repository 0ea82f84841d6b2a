#pragma once
// 导出数据 and 导入数据.
#include "lookup/Pinyin.h"

#include <QObject>

#include <atomic>
#include <optional>

class QWidget;

namespace qv {

class Database;
class DirectoryTreeView;
class EntryListModel;
class TForm_export;
enum class ExportRange;
enum class ExportFormat;

class ExchangeCommands : public QObject {
    Q_OBJECT
public:
    ExchangeCommands(Database& db, DirectoryTreeView* tree, const EntryListModel* list, AskInitialFn askInitial,
                     QWidget* window);

    // Shows the export dialog, kept for the whole run with its choices.
    void mmexportClick();
    // Asks for a text file and imports it beside the selected directory.
    void mmimportClick();

    TForm_export* exportDialog();
    // What the export dialog's 确定 runs.
    void runExport(ExportRange range, ExportFormat format);

private:
    // The pinyin question for a running import; a question closed without a
    // letter offers to stop the import, which then sets `cancel`.
    std::optional<char> askDuringImport(uint8_t lead, uint8_t trail, std::atomic<bool>& cancel);

    Database& m_db;
    DirectoryTreeView* m_tree;
    const EntryListModel* m_list;
    AskInitialFn m_askInitial;
    QWidget* m_window;
    TForm_export* m_exportDialog = nullptr;
};

}  // namespace qv
