#include "store/DatabaseLocation.h"

#include "store/DataUpdate.h"
#include "store/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qv {

namespace {

const QString kName = QString::fromLatin1(Database::kFileName);

// Also true for a symbolic link that leads nowhere: that name is taken too.
bool nameTaken(const QString& path) { return QFileInfo(path).exists() || QFileInfo(path).isSymLink(); }

}  // namespace

QString userDataFolder()
{
    const QString own = qEnvironmentVariable("QARVENDA_HOME");
    if (!own.isEmpty()) {
        const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(own));
        // A relative value is taken against the working folder of the first
        // call, at start, and written back: the window later works in its
        // database's folder, and what it starts must mean the same folder.
        if (QDir::isRelativePath(own))
            qputenv("QARVENDA_HOME", QFile::encodeName(folder));
        return folder;
    }
    // Relative values are to be ignored, as the XDG base directory rules say.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir::cleanPath(base + QStringLiteral("/qarvenda"));
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

QStringList bundledDatabaseCandidates(const QString& programDir)
{
    const QDir dir(programDir);
    QStringList candidates{
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/qarvenda/")) + QLatin1Char('/') + kName)};
#ifdef QV_INSTALL_DATADIR
    candidates << QDir::cleanPath(QStringLiteral(QV_INSTALL_DATADIR "/") + kName);
#endif
    candidates << dir.filePath(kName);
    candidates.removeDuplicates();
    return candidates;
}

QString copyWithoutReplacing(const QString& source, const QString& target)
{
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
        return QStringLiteral("无法读取“%1”：%2").arg(QDir::toNativeSeparators(source), in.errorString());
    // A name of its own in the same folder, so that an interrupted copy never
    // looks like a database and the final step is a link, not a copy.
    QTemporaryFile out(QFileInfo(target).absolutePath() + QStringLiteral("/.kvrn.dat.XXXXXX"));
    if (!out.open())
        return QStringLiteral("无法在“%1”中建立文件：%2")
            .arg(QDir::toNativeSeparators(QFileInfo(target).absolutePath()), out.errorString());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return QStringLiteral("无法写入“%1”：%2").arg(QDir::toNativeSeparators(target), out.errorString());
    }
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("无法读取“%1”：%2").arg(QDir::toNativeSeparators(source), in.errorString());
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return QStringLiteral("无法写入“%1”：%2").arg(QDir::toNativeSeparators(target), out.errorString());
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                       QFileDevice::ReadOther);
    // link() refuses an existing name in one step, so nothing that appeared
    // since the check is ever replaced. Folders that take no hard links get a
    // rename, which Qt refuses too when the name is taken.
    const QByteArray from = QFile::encodeName(out.fileName());
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) == 0)
        return QString();
    const int linkError = errno;
    if (linkError == EEXIST)
        return QStringLiteral("“%1”已经存在，没有覆盖它。").arg(QDir::toNativeSeparators(target));
    const QString why = QString::fromLocal8Bit(std::strerror(linkError));
    if (linkError == EPERM || linkError == EOPNOTSUPP || linkError == EXDEV) {
        if (!nameTaken(target) && out.rename(target)) {
            out.setAutoRemove(false);
            return QString();
        }
    }
    return QStringLiteral("无法建立“%1”：%2").arg(QDir::toNativeSeparators(target), why);
}

QString findBundledDatabase(const QStringList& candidates)
{
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return candidate;
    return QString();
}

namespace {

// Steps 1 and 2 of the rule, and the data folder's file name for step 3;
// nothing is created.
DatabaseLocation pickDatabase(const QString& given, const QString& workingFolder, const QString& dataFolder)
{
    DatabaseLocation loc;
    const QDir working(workingFolder);
    auto settle = [&loc](DatabaseLocation::From from, const QString& file) {
        loc.from = from;
        loc.file = QDir::cleanPath(file);
        loc.folder = QFileInfo(loc.file).absolutePath();
    };
    if (!given.isEmpty()) {
        settle(DatabaseLocation::From::Option, working.absoluteFilePath(given));
        return loc;
    }
    if (nameTaken(working.filePath(kName))) {
        settle(DatabaseLocation::From::WorkingFolder, working.absoluteFilePath(kName));
        return loc;
    }
    settle(DatabaseLocation::From::DataFolder, QDir(dataFolder).absoluteFilePath(kName));
    return loc;
}

}  // namespace

DatabaseLocation locateDatabaseToRead(const QString& given, const QString& workingFolder, const QString& dataFolder,
                                      const QStringList& bundled)
{
    DatabaseLocation loc = pickDatabase(given, workingFolder, dataFolder);
    loc.bundled = findBundledDatabase(bundled);
    if (loc.from != DatabaseLocation::From::DataFolder || nameTaken(loc.file))
        return loc;
    if (loc.bundled.isEmpty()) {
        loc.problem = QStringLiteral("“%1”不存在，也找不到随程序附带的数据库。").arg(QDir::toNativeSeparators(loc.file));
        return loc;
    }
    loc.from = DatabaseLocation::From::Bundled;
    loc.file = QFileInfo(loc.bundled).absoluteFilePath();
    loc.folder = QFileInfo(loc.file).absolutePath();
    return loc;
}

DatabaseLocation locateDatabaseToRead(const QString& given)
{
    return locateDatabaseToRead(given, QDir::currentPath(), userDataFolder(),
                                bundledDatabaseCandidates(programFolder()));
}

DatabaseLocation locateDatabase(const QString& given, const QString& workingFolder, const QString& dataFolder,
                                const QStringList& bundled)
{
    DatabaseLocation loc = pickDatabase(given, workingFolder, dataFolder);
    loc.bundled = findBundledDatabase(bundled);
    if (loc.from != DatabaseLocation::From::DataFolder || nameTaken(loc.file))
        return loc;
    if (!QDir().mkpath(loc.folder) || !QFileInfo(loc.folder).isDir()) {
        loc.problem = QStringLiteral("无法建立数据文件夹“%1”。").arg(QDir::toNativeSeparators(loc.folder));
        return loc;
    }
    const QString source = loc.bundled;
    if (source.isEmpty()) {
        loc.problem =
            QStringLiteral("找不到随程序附带的数据库，无法复制到“%1”。").arg(QDir::toNativeSeparators(loc.file));
        return loc;
    }
    const QString why = copyWithoutReplacing(source, loc.file);
    if (why.isEmpty()) {
        loc.copied = true;
        // Later starts tell a newer bundle by it; without it the copy is
        // still compared with the bundle, so a failure here is not fatal.
        recordBundledVersion(loc.file, source);
    }
    // Another run may have put its copy there first; that one is used.
    else if (!nameTaken(loc.file))
        loc.problem = QStringLiteral("无法把随程序附带的数据库复制到数据文件夹：") + why;
    return loc;
}

DatabaseLocation locateDatabase(const QString& given)
{
    return locateDatabase(given, QDir::currentPath(), userDataFolder(), bundledDatabaseCandidates(programFolder()));
}

}  // namespace qv
