#pragma once
// Import of comma-separated text: each line "directory,name,area code,postcode"
// adds one entry; each change of the directory field from one line to the
// next starts a new directory, so directories already in the tree never
// receive imported entries.
#include "lookup/Pinyin.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QString>

#include <cstdint>

class QIODevice;

namespace qv {

struct ImportResult {
    enum Stop {
        EndOfFile,      // every line read (a 0x1A byte also ends the file)
        ShortLine,      // a line with fewer than three commas ended the import
        CannotOpen,     // the file could not be opened; nothing changed
        ReadFailed,     // reading failed part-way; the entries read so far stay
        NoDirectoryId,  // no directory id left
        ImageFull       // the database cannot grow any further
    };
    Stop stop = EndOfFile;
    int64_t entries = 0;      // entries appended
    int64_t directories = 0;  // directories created
    QString message;          // in Chinese for the general error box; empty when nothing went wrong

    bool failed() const { return !message.isEmpty(); }
};

// Reads `in` (open for reading) to its end, the first 0x1A byte or the first
// line with fewer than three commas. New directories are appended after the
// last sibling of `selected` (nullptr: at the top level), with the directory
// field (cut to 25 bytes) as caption; the first line always starts one, even
// with an empty directory field. Fields are cut to 25, 5 and 8 bytes, never
// inside a character; `ask` is LearnInitials' question for each place name.
// Sets ModifiedFlag. `progress` gets 0..100 now and then.
ImportResult importText(Database& db, QIODevice& in, DirectoryNode* selected, const AskInitialFn& ask,
                        const ProgressFn& progress = {});

// Opens `path` and imports it. A file that cannot be opened (or is no
// regular file) changes nothing, ModifiedFlag included.
ImportResult importTextFile(Database& db, const QString& path, DirectoryNode* selected, const AskInitialFn& ask,
                            const ProgressFn& progress = {});

}  // namespace qv
