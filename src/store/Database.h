#pragma once
// The whole database of a run: the image, the directory tree, the learned
// pinyin initials, NextDirectoryId and ModifiedFlag, with load and save.
#include "store/DatabaseFile.h"
#include "store/DatabaseImage.h"
#include "store/Relocation.h"
#include "store/DirectoryTree.h"

#include <QString>

#include <vector>

namespace qv {

struct LoadReport {
    // Excess: the database was loaded, but the file held more than it; the
    // message says so and the file is kept aside at the next save.
    FileReadResult::Status status = FileReadResult::Ok;
    QString message;  // empty when all went well; otherwise for the error box
    QString detail;   // what was wrong with the file, in Chinese, without the advice around it
    bool ok() const { return status == FileReadResult::Ok; }
};

struct SaveReport {
    bool ok = false;
    // The error, when !ok, ending with what became of the previous file (no
    // full stop at the end).
    QString message;
    Relocation relocation;      // how entry positions moved (even when writing failed)
    QString preservedAs;        // full path where this save kept a damaged file it replaced; empty when none
    // preservedAs as a message names it: the bare file name when it lies
    // beside the database file, the full path otherwise (beside a link's target).
    QString preservedShown;
};

// Told of changes to entry records that rows of a list may show.
class EntryObserver {
public:
    virtual ~EntryObserver() = default;
    // The texts of the record at `pos` changed.
    virtual void entryRewritten(EntryPosition pos) = 0;
    // These records were deleted or filed elsewhere (ascending positions).
    virtual void entriesGone(const std::vector<EntryPosition>& positions) = 0;
    // Every record moved (a save re-based the image, a compaction closed gaps).
    virtual void entriesRelocated(const Relocation& relocation) = 0;
    // Directory `id`, which rows show as the owner of their entries, now has
    // this caption (GBK).
    virtual void directoryRenamed(int32_t id, const std::string& caption)
    {
        (void)id;
        (void)caption;
    }
};

class Database {
public:
    static constexpr const char* kFileName = "kvrn.dat";
    // Directories deeper than this in a file are hung at this depth, so that a
    // hostile file cannot make every tree walk recurse a million levels deep.
    static constexpr int kMaxLoadDepth = 200;

    DatabaseImage image;
    DirectoryTree tree;
    std::vector<LearnedInitial> learned;
    bool ModifiedFlag = false;  // set by every edit, cleared by a load and a successful save

    // Reads `path` (normally "kvrn.dat" in the working folder). Missing,
    // unreadable or damaged files leave an empty database and a message;
    // a damaged or unreadable file is renamed aside, never overwritten, by the
    // next save, and so is one that holds more than its header announces. A
    // link to a regular file is followed; a link that dangles, loops or
    // points elsewhere is reported and never saved through.
    LoadReport load(const QString& path);
    // Builds tree, learned table and entry section from an image.
    void loadImage(std::vector<uint8_t> bytes);
    void reset();

    // The image a save would write: a new front from the tree and the learned
    // table, then the entry section unchanged.
    std::vector<uint8_t> buildImage(int32_t* newEntryStart = nullptr) const;
    // The length of that front, and the front written at `p`.
    size_t frontSize() const;
    void writeFront(uint8_t* p) const;

    // Re-bases the image onto a new front and writes the file. ModifiedFlag is
    // clear afterwards when the file was written; a failed save leaves it as
    // it was. A database opened read-only is not written at all.
    SaveReport save(const ProgressFn& progress = {});
    // Writes the database under another name and works on that file from
    // then on (no longer read-only); on failure nothing changes.
    SaveReport saveAs(const QString& path, const ProgressFn& progress = {});
    // True when the file there is no longer the one loaded or last saved
    // (another program wrote, replaced or created it): a save would
    // overwrite what someone else wrote.
    bool changedOnDisk() const;

    // Why this database must not be written to its file; empty when it may.
    const QString& readOnlyReason() const { return m_readOnly; }
    void setReadOnly(const QString& why) { m_readOnly = why; }

    void addObserver(EntryObserver* observer) { m_observers.push_back(observer); }
    void removeObserver(EntryObserver* observer);
    void notifyRewritten(EntryPosition pos);
    void notifyGone(const std::vector<EntryPosition>& positions);
    // A save runs beside the event loop and reports how records moved; the
    // rows are told once it is over, on the thread that shows them.
    void notifyRelocated(const Relocation& relocation);
    void notifyDirectoryRenamed(int32_t id, const std::string& caption);

    const QString& path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }
    // Where a damaged file will be kept at the next save; empty when none.
    const QString& preserveAs() const { return m_preserveAs; }

private:
    QString m_path = QString::fromLatin1(kFileName);
    QString m_preserveAs;
    QString m_readOnly;
    FileStamp m_stamp;  // the file as loaded or last saved
    std::vector<EntryObserver*> m_observers;
};

}  // namespace qv
