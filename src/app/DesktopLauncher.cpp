#include "app/DesktopLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace qv {

namespace {

// A value of type string: backslash and control characters escaped.
QString escapeString(const QString& s)
{
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

// One argument of Exec: quoted when it holds a reserved character, with
// " ` $ \ escaped inside the quotes and % doubled; then escaped as a string.
QString execArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = arg;
    if (std::any_of(arg.begin(), arg.end(), [](QChar c) { return reserved.contains(c); })) {
        quoted.clear();
        for (QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return escapeString(quoted);
}

// The installed icon when the program runs from an installation, the copy
// the build puts beside the program, else the icon theme's name.
QString iconFor(const QString& programPath)
{
    const QDir dir = QFileInfo(programPath).absoluteDir();
    for (const QString& candidate :
         {QDir::cleanPath(dir.filePath(QStringLiteral("../share/icons/hicolor/scalable/apps/qarvenda.svg"))),
          dir.filePath(QStringLiteral("qarvenda.svg"))}) {
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QStringLiteral("qarvenda");
}

}  // namespace

QString userDesktopFolder()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-user-dir"));
    if (!tool.isEmpty()) {
        QProcess p;
        p.start(tool, {QStringLiteral("DESKTOP")});
        if (p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
            const QString dir = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
            if (!dir.isEmpty())
                return dir;
        } else {
            p.kill();
            p.waitForFinished(1000);
        }
    }
    return QDir::home().filePath(QStringLiteral("Desktop"));
}

QString desktopEntryText(const QString& programPath, const QString& icon, const QString& workingFolder)
{
    const QFileInfo program(programPath);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.0\n"
                          "Name=Qarvenda\n"
                          "Comment=全国地名的邮政编码、电话区号查询\n"
                          "Exec=%1\n"
                          "Path=%2\n"
                          "Icon=%3\n"
                          "Terminal=false\n")
        .arg(execArgument(program.absoluteFilePath()), escapeString(QDir(workingFolder).absolutePath()),
             escapeString(icon));
}

bool writeDesktopLauncher(const QString& desktopFolder, const QString& programPath, const QString& workingFolder)
{
    if (desktopFolder.isEmpty() || !QFileInfo(desktopFolder).isDir())
        return false;
    QSaveFile file(QDir(desktopFolder).filePath(QStringLiteral("Qarvenda.desktop")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(desktopEntryText(programPath, iconFor(programPath), workingFolder).toUtf8());
    // On the temporary file, so that the launcher appears already executable.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                        QFileDevice::ExeOther);
    return file.commit();
}

bool createDesktopLauncher(const std::function<QString()>& desktopFolder)
{
    return writeDesktopLauncher(desktopFolder(), QCoreApplication::applicationFilePath(), QDir::currentPath());
}

}  // namespace qv
