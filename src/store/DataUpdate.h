#pragma once
// Keeping a user's copy of the bundled database current. Beside a copy the
// program made it keeps the bundled file the copy came from
// ("<file>.bundled", the pristine copy) and that file's SHA-256
// ("<file>.bundled.sha256", as sha256sum writes it). A bundled file whose
// hash differs from the recorded one is newer: a copy the user never edited
// is replaced by it (the old one kept), an edited one is merged three ways,
// the pristine copy being the common base.
#include "store/Database.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace qv {

QString pristineCopyPath(const QString& databaseFile);
QString pristineHashPath(const QString& databaseFile);

// Lower-case hex SHA-256 of the file's bytes; empty when it cannot be read.
QByteArray fileSha256(const QString& path);

// The recorded hash of the bundled version `databaseFile` stands on; empty
// when there is no record or the pristine copy no longer matches it.
QByteArray recordedBundleHash(const QString& databaseFile);

// Keeps `bundled` as the version `databaseFile` now stands on: the pristine
// copy and its hash, each written under a temporary name first. Empty on
// success, else why not, in Chinese.
QString recordBundledVersion(const QString& databaseFile, const QString& bundled);

struct StartUpdate {
    enum Kind {
        Nothing,   // no bundled file, no record, or the bundle is the recorded one
        Recorded,  // a copy made before the record existed equals the bundle: recorded now
        Replaced,  // an unedited copy was replaced by the newer bundle
        Offered,   // the copy was edited (or its origin is unknown): 更新数据 merges
        Failed,    // the replacement could not be made; the copy is as it was
    };
    Kind kind = Nothing;
    bool baseKnown = true;  // Offered: false when the copy's bundle is not known
    QString keptAs;   // Replaced: where the old copy is kept
    QString message;  // Replaced, Failed: what the window says, in Chinese
};

// Run at start, before the database is read. `madeFromBundle`: the file is
// the data folder's copy, so that one without a record still came from an
// earlier bundle.
StartUpdate updateAtStart(const QString& databaseFile, const QString& bundled, bool madeFromBundle);

// The next free name "<file>.before-update", ".before-update.2", ...
QString updateBackupName(const QString& file);

struct PlaceValues {
    std::string areaCode, postcode;  // GBK
    bool operator==(const PlaceValues& o) const { return areaCode == o.areaCode && postcode == o.postcode; }
    bool operator!=(const PlaceValues& o) const { return !(*this == o); }
};

// One place that the new bundle changed against the pristine copy (or, when
// the copy's origin is unknown, one place where the bundle differs from the
// user's copy). A place is its directory path and name; the k-th place of a
// name in a directory meets the k-th of the other side.
struct UpstreamChange {
    enum Kind { Added, Changed, Removed };
    enum Outcome {
        Apply,         // the user left the place as it was: the change is taken
        AlreadyThere,  // the user's copy already says what the bundle says
        Conflict,      // the user changed the place too: the user decides (takeTheirs)
    };
    Kind kind = Changed;
    Outcome outcome = Apply;
    std::vector<std::string> path;  // GBK captions from the top
    std::string name;               // GBK
    std::optional<PlaceValues> base, ours, theirs;
    int32_t oursPosition = -1;  // the user's record, when there is one
    bool takeTheirs = false;    // a conflict settled for the bundle's side
};

struct UpdatePlan {
    bool baseKnown = true;
    std::vector<UpstreamChange> changes;  // in the bundle's order
    int count(UpstreamChange::Outcome outcome) const;
    int count(UpstreamChange::Kind kind) const;
};

// What the new bundle `theirs` changed against `base` and what that means
// for `ours`. Without a base every difference is a conflict whose default
// keeps the user's value, and places only the user has are the user's.
// One pass over each database.
UpdatePlan planUpdate(const Database* base, const Database& ours, const Database& theirs);

struct UpdateResult {
    int added = 0, changed = 0, removed = 0;
    int total() const { return added + changed + removed; }
};

// Makes the planned changes (Apply, and conflicts with takeTheirs) in `ours`:
// values rewritten in place, places added under their directory path (made
// when missing, learned initials taken from `theirs`), removed places marked
// deleted and so recoverable. Sets ModifiedFlag when anything changed.
UpdateResult applyUpdate(Database& ours, const Database& theirs, const UpdatePlan& plan);

// The path as shown: captions joined by " / ", in Unicode.
QString pathText(const std::vector<std::string>& path);

}  // namespace qv
