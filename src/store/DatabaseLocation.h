#pragma once
// Which kvrn.dat a run works on, the same for the window, qarvenda-cli, the
// start script and the launchers:
//   1. the file named by --db, exactly that file;
//   2. else kvrn.dat in the working folder, when it is there (a portable
//      folder that carries its own database);
//   3. else kvrn.dat in the user's data folder, which is created and given a
//      copy of the bundled database when it has none (the bundled version
//      it came from is kept beside it, see DataUpdate.h).
// A reader that never writes (qarvenda-cli) takes the bundled database
// itself where the window would make that copy.
#include <QString>
#include <QStringList>

namespace qv {

struct DatabaseLocation {
    enum class From { Option, WorkingFolder, DataFolder, Bundled };
    From from = From::DataFolder;
    QString file;         // absolute path of the database file
    QString folder;       // the folder to work in: the one that holds `file`
    bool copied = false;  // the bundled database was copied there just now
    QString problem;      // in Chinese: why the data folder has no database; empty when all went well
    QString bundled;      // the bundled database found, if any (the source of the copy and of updates)
    // The data folder cannot take the copy: `file` is the bundled database
    // itself, to be opened read-only, and `problem` says why.
    bool readOnly = false;
};

// QARVENDA_HOME when set, else $XDG_DATA_HOME/qarvenda, else
// ~/.local/share/qarvenda. Not created here. A relative QARVENDA_HOME is made
// absolute against the working folder of the first call and set so.
QString userDataFolder();

// The folder of the running program, also before a QCoreApplication exists.
QString programFolder();

// Where the bundled, read-only database may be, most likely first: installed
// under the program's prefix (../share/qarvenda), under the prefix the build
// was configured for, or beside the program in a build tree.
QStringList bundledDatabaseCandidates(const QString& programDir);

// The rule above. `given` is the --db value (empty when there was none).
DatabaseLocation locateDatabase(const QString& given, const QString& workingFolder, const QString& dataFolder,
                                const QStringList& bundled);
// The same for this process: its working folder, userDataFolder() and the
// candidates beside programFolder().
DatabaseLocation locateDatabase(const QString& given);

// Where a run that only reads finds its database: the same rule, except
// that nothing is created; while the data folder has no kvrn.dat, the
// bundled database is read where it lies (From::Bundled). `problem` says so
// when there is none either.
DatabaseLocation locateDatabaseToRead(const QString& given, const QString& workingFolder, const QString& dataFolder,
                                      const QStringList& bundled);
DatabaseLocation locateDatabaseToRead(const QString& given);

// The first candidate that is a file; empty when none is.
QString findBundledDatabase(const QStringList& candidates);

// Copies `source` to `target` (whose folder exists) under a temporary name in
// the target's folder, then gives it the target's name only when no file of
// that name has appeared meanwhile: an existing file is never replaced.
// Empty on success, else why not, in Chinese, naming the cause; `err` then
// holds the errno when there was one.
QString copyWithoutReplacing(const QString& source, const QString& target, int* err = nullptr);

}  // namespace qv
