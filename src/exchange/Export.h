#pragma once
// Export of places: the rows (the entry list as shown, or every live record
// of the image), written as comma-separated GBK text or as a workbook.
#include "lookup/EntryRows.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseImage.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

class QIODevice;

namespace qv {

// File names of the two exports: the text goes to the working folder, the
// workbook beside the executable.
inline constexpr const char* kTextExportName = "kvrn.txt";
inline constexpr const char* kWorkbookExportName = "kvrn.xls";
// Where the workbook goes: beside the program when its folder takes files
// (an unpacked, portable copy), else the working folder, beside kvrn.txt. An
// installed program (its bundled database under ../share) counts as not
// portable even for a user who may write there.
QString workbookExportPath(const QString& programDir, const QString& workingFolder);
// Shown when the workbook or its worksheet cannot be started.
inline const QString kWorkbookStartFailure = QStringLiteral("失败，EXCEL可能未正确安装！");
// Rows of a worksheet, the caption row included.
constexpr int64_t kWorksheetRowLimit = 1048576;

// One exported place; GBK bytes exactly as stored.
struct ExportRow {
    std::string_view owner;
    std::string_view name;
    std::string_view areaCode;
    std::string_view postcode;
    int64_t ownerKey = 0;  // rows with equal keys have the same owner text
};

// Directory names keyed by id, as the image's directory section holds them:
// the names as of the last load or save. A directory created since then has
// none; a renamed one keeps its former name.
using DirectoryNames = std::unordered_map<DirectoryId, std::string>;
DirectoryNames savedDirectoryNames(const DatabaseImage& image);

// What an export reads. Both sources only read: the list's rows and the
// image must stay unchanged while it is in use.
class ExportSource {
public:
    // The list's rows in the order they are shown.
    static ExportSource currentList(const EntryRowSet& rows);
    // Every live record in image order; deleted records are skipped.
    static ExportSource allRecords(const DatabaseImage& image);

    bool isList() const { return m_list != nullptr; }
    // Rows an export writes.
    int64_t rowCount() const;
    // Progress steps: the list's rows, or every record read, deleted ones too.
    int64_t stepCount() const;

    // Calls row(const ExportRow&) for each row in order (a false result
    // stops and makes forEach return false) and step(stepsDone) after each step.
    template <class RowFn, class StepFn> bool forEach(RowFn&& row, StepFn&& step) const
    {
        if (m_list) {
            constexpr size_t kAhead = 16;
            const size_t n = m_list->rows.size();
            int64_t i = 0;
            for (size_t k = 0; k < n; ++k) {
                if (k + kAhead < n)
                    m_list->rows.prefetch(k + kAhead);
                const EntryRow r = m_list->rows[k];
                if (!row(ExportRow{m_list->directoryText(r), r.nameText(), r.areaText(), r.postText(),
                                   int64_t(r.directory)}))
                    return false;
                step(++i);
            }
            return true;
        }
        int64_t i = 0;
        int32_t lastOwner = 0;
        std::string_view lastName;
        bool haveLast = false;
        const uint8_t* data = m_image->bytes().data();
        const int64_t end = m_image->size() - kEntryRecordSize;
        for (int64_t p = m_image->entrySectionStart(); p <= end; p += kEntryRecordSize) {
            const uint8_t* rec = data + p;
            const int32_t owner = entryOwner(rec);
            if (owner >= 0) {
                if (!haveLast || owner != lastOwner) {
                    auto it = m_names.find(owner);
                    lastName = it == m_names.end() ? std::string_view() : std::string_view(it->second);
                    lastOwner = owner;
                    haveLast = true;
                }
                if (!row(ExportRow{lastName, readField(rec + entry_field::kNameLen, kNameCapacity),
                                   readField(rec + entry_field::kAreaLen, kAreaCodeCapacity),
                                   readField(rec + entry_field::kPostLen, kPostcodeCapacity), int64_t(owner)}))
                    return false;
            }
            step(++i);
        }
        return true;
    }

private:
    const EntryRowSet* m_list = nullptr;
    const DatabaseImage* m_image = nullptr;
    DirectoryNames m_names;
};

struct ExportResult {
    enum Status {
        Written,          // the file is complete
        NothingToExport,  // an empty list: nothing written, nothing to say
        TooManyRows,      // more rows than a worksheet holds; nothing written
        CannotStart,      // the workbook or its worksheet could not be started
        Failed            // creating, writing or saving failed
    };
    Status status = Written;
    int64_t rows = 0;  // rows written
    QString message;   // for TooManyRows, CannotStart and Failed, in Chinese

    bool ok() const { return status == Written; }
};

// One line per row: owner, name, area code, postcode joined by ",", then CR
// LF; the stored bytes unchanged, no header. An empty list writes nothing.
// Only a field that would not read back as it is goes in quotes (see
// appendTextLineField).
ExportResult writeText(const ExportSource& source, QIODevice& out, const ProgressFn& progress = {});
// One of the first three fields of a text export line, and its comma. A
// field that holds a comma, or begins with a double quote, is put in double
// quotes (its quotes written twice) so that the import splits the line where
// it was joined; the postcode, the rest of the line, is never quoted.
void appendTextLineField(std::string& line, std::string_view field);
// The same into a file through QSaveFile: a failed export leaves whatever
// file was at `path` as it was.
ExportResult writeTextFile(const ExportSource& source, const QString& path, const ProgressFn& progress = {});

// A workbook with one worksheet: the caption row "地区名称", "所属",
// "邮政编码", "电话区号", then per row the name, owner, postcode and area
// code, all as text cells. Written beside `path` and renamed over it when
// complete. `tempDir` is where the library keeps its temporary files (empty:
// the system's). An empty list writes nothing.
ExportResult writeWorkbook(const ExportSource& source, const QString& path, const ProgressFn& progress = {},
                           const QString& tempDir = QString());

}  // namespace qv
