#include "store/DatabaseLocation.h"

#include "store/DataUpdate.h"
#include "store/Database.h"
#include "store/DatabaseFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
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

QString copyWithoutReplacing(const QString& source, const QString& target, int* err)
{
    int dummy = 0;
    int& e = err ? *err : dummy;
    e = 0;
    const QString shownSource = QDir::toNativeSeparators(source);
    const QString shownTarget = QDir::toNativeSeparators(target);
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        e = in < 0 ? errno : EISDIR;
        if (in >= 0)
            ::close(in);
        return QStringLiteral("无法读取“%1”：%2").arg(shownSource, describePathError(source, e));
    }
    // A name of its own in the same folder, so that an interrupted copy never
    // looks like a database and the final step is a link, not a copy. It is
    // marked as in use, so that a later start removes it only once this
    // copy has ended (or was killed).
    QString temp;
    const int out = createTemporaryBeside(target, &temp, &e);
    if (out < 0) {
        ::close(in);
        const QString folder = QFileInfo(target).absolutePath();
        return QStringLiteral("无法在“%1”中建立文件：%2")
            .arg(QDir::toNativeSeparators(folder), describePathError(folder, e));
    }
    const QByteArray nativeTemp = QFile::encodeName(temp);
    auto fail = [&](const QString& why) {
        ::unlink(nativeTemp.constData());
        ::close(out);
        ::close(in);
        return why;
    };
    std::vector<char> chunk(size_t(1) << 20);
    for (off_t at = 0;;) {
        const ssize_t n = ::read(in, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            e = errno;
            return fail(QStringLiteral("无法读取“%1”：%2").arg(shownSource, describeFileError(e)));
        }
        if (n == 0)
            break;
        if ((e = writeFully(out, chunk.data(), size_t(n), at)) != 0)
            return fail(QStringLiteral("无法写入“%1”：%2").arg(shownTarget, describeFileError(e)));
        at += n;
    }
    if (::fsync(out) != 0) {
        e = errno;
        return fail(QStringLiteral("无法写入“%1”：%2").arg(shownTarget, describeFileError(e)));
    }
    if (::fchmod(out, 0644) != 0) {
        // Stays with the usual permissions.
    }
    // link() refuses an existing name in one step, so nothing that appeared
    // since the check is ever replaced. Folders that take no hard links get a
    // rename, which is refused too when the name is taken.
    const QByteArray to = QFile::encodeName(target);
    if (::link(nativeTemp.constData(), to.constData()) == 0) {
        fail(QString());
        return QString();
    }
    e = errno;
    if (e == EEXIST)
        return fail(QStringLiteral("“%1”已经存在，没有覆盖它。").arg(shownTarget));
    if ((e == EPERM || e == EOPNOTSUPP || e == EXDEV) && !nameTaken(target) &&
        ::rename(nativeTemp.constData(), to.constData()) == 0) {
        ::close(out);
        ::close(in);
        return QString();
    }
    return fail(QStringLiteral("无法建立“%1”：%2").arg(shownTarget, describePathError(target, e)));
}

QString findBundledDatabase(const QStringList& candidates)
{
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return candidate;
    return QString();
}

namespace {

// Makes `folder` and the folders above it; 0, or the errno and the folder
// that could not be made. A link that leads nowhere or a file where a
// folder should be is found as such.
int makeFolders(const QString& folder, QString* failedAt)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QString path;
    for (const QString& part : clean.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0777) == 0)
            continue;
        const int made = errno;
        struct stat st;
        if (::stat(native.constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                continue;
            *failedAt = path;
            return ENOTDIR;
        }
        *failedAt = path;
        // Exists, yet no folder behind it: a link that leads nowhere or loops.
        return made == EEXIST ? errno : made;
    }
    return 0;
}

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
    const QString source = loc.bundled;
    // Without a copy of its own, the bundled database is still there to read:
    // it is opened read-only and the message says why and what to do.
    auto readBundled = [&](const QString& why) {
        loc.problem = why.endsWith(QStringLiteral("。")) ? why : why + QStringLiteral("。");
        if (source.isEmpty())
            return;
        loc.problem += QStringLiteral("\n随程序附带的数据库“%1”以只读方式打开；要保存修改，请用“另存为”存到可以写入的地方。")
                           .arg(QDir::toNativeSeparators(source));
        loc.file = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
        loc.folder = QDir(workingFolder).absolutePath();
        loc.readOnly = true;
        loc.from = DatabaseLocation::From::Bundled;
    };
    QString failedAt;
    if (const int err = makeFolders(loc.folder, &failedAt)) {
        const QString at = failedAt == loc.folder ? QString()
                                                  : QStringLiteral("（“%1”）").arg(QDir::toNativeSeparators(failedAt));
        readBundled(QStringLiteral("无法建立数据文件夹“%1”%2：%3。")
                        .arg(QDir::toNativeSeparators(loc.folder), at, describePathError(failedAt, err)));
        return loc;
    }
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
        readBundled(QStringLiteral("无法把随程序附带的数据库复制到数据文件夹：") + why);
    return loc;
}

DatabaseLocation locateDatabase(const QString& given)
{
    return locateDatabase(given, QDir::currentPath(), userDataFolder(), bundledDatabaseCandidates(programFolder()));
}

}  // namespace qv
