#pragma once
// Which kvrn.dat a run works on, the same for the window, qarvenda-cli, the
// start script and the launchers:
//   1. the file named by --db, exactly that file;
//   2. else kvrn.dat in the working folder, when it is there (a portable
//      folder that carries its own database);
//   3. else kvrn.dat in the user's data folder, which is created and given a
//      copy of the bundled database when it has none.
#include <QString>
#include <QStringList>

namespace qv {

struct DatabaseLocation {
    enum class From { Option, WorkingFolder, DataFolder };
    From from = From::DataFolder;
    QString file;         // absolute path of the database file
    QString folder;       // the folder to work in: the one that holds `file`
    bool copied = false;  // the bundled database was copied there just now
    QString problem;      // in Chinese: why the data folder has no database; empty when all went well
    // The data folder cannot take the copy: `file` is the bundled database
    // itself, to be opened read-only, and `problem` says why.
    bool readOnly = false;
};

// QARVENDA_HOME when set, else $XDG_DATA_HOME/qarvenda, else
// ~/.local/share/qarvenda. Not created here.
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

// Copies `source` to `target` (whose folder exists) under a temporary name in
// the target's folder, then gives it the target's name only when no file of
// that name has appeared meanwhile: an existing file is never replaced.
// Empty on success, else why not, in Chinese, naming the cause; `err` then
// holds the errno when there was one.
QString copyWithoutReplacing(const QString& source, const QString& target, int* err = nullptr);

}  // namespace qv
