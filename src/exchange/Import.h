#pragma once
// Import of comma-separated text: each line "directory,name,area code,postcode"
// adds one entry; each change of the directory field from one line to the
// next starts a new directory, so directories already in the tree never
// receive imported entries.
//
// The file is read whole before the database changes: its encoding is
// settled first (GBK, or UTF-8 / UTF-16 converted to GBK), then the lines are
// gathered into an ImportBatch, and only a finished batch is added. A
// cancelled import, or one that meets a character GBK lacks, changes nothing.
#include "lookup/Pinyin.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class QFile;
class QIODevice;

namespace qv {

struct ImportResult {
    enum Stop {
        EndOfFile,      // every line read (a 0x1A byte also ends the file)
        ShortLine,      // a line with fewer than three commas ended the import
        UnclosedQuote,  // a workbook cell's quote never closed: its row and the rest were not taken
        CannotOpen,     // the file could not be opened; nothing changed
        ReadFailed,     // reading failed part-way; the entries read so far stay
        NoDirectoryId,  // no directory id left
        ImageFull,      // the database cannot grow any further
        Unconvertible,  // no text in the encoding it was taken for, or text GBK cannot hold; nothing changed
        Cancelled       // the user stopped it; nothing changed
    };
    enum Encoding { Gbk, Utf8, Utf16 };
    Stop stop = EndOfFile;
    int64_t entries = 0;      // entries appended
    int64_t directories = 0;  // directories created
    QString message;          // in Chinese for the general error box; empty when nothing went wrong

    Encoding encoding = Gbk;
    bool workbookLayout = false;  // the first line was the workbook's caption row
    int64_t controlFields = 0;    // fields whose control characters became blanks
    // Where reading stopped early (lines counted from 1): at a short line, an
    // unclosed quote's row, or the line holding a 0x1A byte (endMark);
    // whether that line was empty, whether it went on after the mark, how
    // many lines after it were not read, and whether any of those held more
    // than nothing.
    int64_t stopLine = 0;
    bool blankStop = false;
    bool endMark = false;
    bool markRest = false;
    int64_t linesNotRead = 0;
    bool textNotRead = false;

    bool failed() const { return !message.isEmpty(); }
    // The database is as it was before (ModifiedFlag included).
    bool changedNothing() const { return stop == CannotOpen || stop == Unconvertible || stop == Cancelled; }
    // Stopped at a line while something that could be data followed or the
    // line itself held text; an empty last line (or only empty lines after
    // it), like a 0x1A byte at the very end, is the usual end of a file.
    bool stoppedEarly() const
    {
        return stop == UnclosedQuote || (stop == ShortLine && (!blankStop || textNotRead || markRest)) ||
               (endMark && (markRest || textNotRead));
    }
};

// The one message after an import: how many places went into how many new
// directories, where and why it stopped early, what was changed on the way.
QString importSummary(const ImportResult& result);

// What an import adds, gathered aside from the database.
struct ImportBatch {
    std::vector<std::string> directories;  // captions, in the order they were made
    std::vector<uint8_t> records;          // entry records; owner = 1 + index into `directories`
    std::vector<LearnedInitial> learned;   // the learned table with this import's answers at its end
};

// Reads `in` (open for reading, from its start) into `batch` and leaves `db`
// alone, so that it may run on another thread while nothing else changes
// `db`. Reads to the end, the first 0x1A byte or the first line with fewer
// than three commas (fewer than four cells in the workbook's layout); the
// lines after a stop are counted. A file that is not wholly text in the
// encoding it is taken for (GBK checked character by character, UTF-8,
// UTF-16 with or without a byte-order mark) is refused before any line. `ask`
// is LearnInitials' question for each place name; `cancel`, when set, stops
// the import at the next line or answer. `progress` gets 0..100 now and then.
ImportResult readImport(const Database& db, QIODevice& in, const AskInitialFn& ask, ImportBatch& batch,
                        const ProgressFn& progress = {}, const std::atomic<bool>* cancel = nullptr);

// Adds a batch read by readImport: new directories after the last sibling of
// `selected` (nullptr: at the top level), their entries, the learned answers;
// sets ModifiedFlag. Does nothing when the result changed nothing.
void applyImport(Database& db, DirectoryNode* selected, ImportBatch& batch, const ImportResult& result);

// readImport then applyImport.
ImportResult importText(Database& db, QIODevice& in, DirectoryNode* selected, const AskInitialFn& ask,
                        const ProgressFn& progress = {}, const std::atomic<bool>* cancel = nullptr);

// Opens `path` for an import: only a regular file. On failure the result
// holds the message (stop CannotOpen).
ImportResult openImportFile(const QString& path, QFile& file);

// Opens `path` and imports it. A file that cannot be opened (or is no
// regular file) changes nothing, ModifiedFlag included.
ImportResult importTextFile(Database& db, const QString& path, DirectoryNode* selected, const AskInitialFn& ask,
                            const ProgressFn& progress = {}, const std::atomic<bool>* cancel = nullptr);

}  // namespace qv
