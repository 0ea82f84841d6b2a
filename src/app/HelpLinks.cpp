#include "app/HelpLinks.h"

#include "widgets/DesktopOpener.h"

#include <QDir>
#include <QFileInfo>

#ifndef QV_MAIL_ADDRESS
#define QV_MAIL_ADDRESS ""
#endif

namespace qv {

namespace {
const QString kFrontPage = QStringLiteral("index.html");
}

QStringList userGuideCandidates(const QString& programDir)
{
    const QDir dir(programDir);
    QStringList candidates{
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/doc/qarvenda/guide/")) + QLatin1Char('/') + kFrontPage)};
#ifdef QV_INSTALL_DOCDIR
    candidates << QStringLiteral(QV_INSTALL_DOCDIR "/guide/") + kFrontPage;
#endif
    candidates << dir.filePath(QStringLiteral("guide/") + kFrontPage);
    candidates.removeDuplicates();
    return candidates;
}

QString userGuideFile(const QString& programDir)
{
    const QStringList candidates = userGuideCandidates(programDir);
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return candidate;
    return candidates.first();
}

QString userGuidePage(const QString& page, const QString& programDir)
{
    return QFileInfo(userGuideFile(programDir)).dir().filePath(page);
}

QUrl homePageUrl(const QString& programDir) { return QUrl::fromLocalFile(userGuideFile(programDir)); }
QString homePageText() { return QStringLiteral("Qarvenda 用户指南"); }
QString mailAddress() { return QStringLiteral(QV_MAIL_ADDRESS).trimmed(); }

QUrl mailUrl(const QString& programDir)
{
    if (mailAddress().isEmpty())
        return QUrl::fromLocalFile(userGuidePage(QStringLiteral("problems.html"), programDir));
    return QUrl(QStringLiteral("mailto:") + mailAddress());
}

QString mailText() { return mailAddress().isEmpty() ? QStringLiteral("见用户指南“报告问题”") : mailAddress(); }

void openHomePage(DesktopOpener& opener) { opener.open(homePageUrl()); }
void openMail(DesktopOpener& opener) { opener.open(mailUrl()); }

QString helpFilePath(const QString& programDir) { return QDir(programDir).filePath(QStringLiteral("venlomar.chm")); }

bool openHelp(DesktopOpener& opener, const QString& programDir)
{
    const QString path = helpFilePath(programDir);
    if (QFileInfo(path).isFile())
        return opener.open(QUrl::fromLocalFile(path));
    const QString guide = userGuideFile(programDir);
    return QFileInfo(guide).isFile() && opener.open(QUrl::fromLocalFile(guide));
}

}  // namespace qv
