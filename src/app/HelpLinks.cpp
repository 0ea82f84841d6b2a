#include "app/HelpLinks.h"

#include "widgets/DesktopOpener.h"

#include <QDir>
#include <QFileInfo>

namespace qv {

QUrl homePageUrl() { return QUrl(QStringLiteral("https://qarvenda.example.org/")); }
QString mailAddress() { return QStringLiteral("qarvenda@example.org"); }
QUrl mailUrl() { return QUrl(QStringLiteral("mailto:") + mailAddress()); }

void openHomePage(DesktopOpener& opener) { opener.open(homePageUrl()); }
void openMail(DesktopOpener& opener) { opener.open(mailUrl()); }

QString helpFilePath(const QString& programDir) { return QDir(programDir).filePath(QStringLiteral("venlomar.chm")); }

bool openHelp(DesktopOpener& opener, const QString& programDir)
{
    const QString path = helpFilePath(programDir);
    if (!QFileInfo(path).isFile())
        return false;
    return opener.open(QUrl::fromLocalFile(path));
}

}  // namespace qv
