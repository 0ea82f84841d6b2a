#pragma once
// The help menu's links: the home page, the mail address and the help, all
// handed to the desktop without waiting for it. The home page is the user
// guide that comes with the program; mail goes to the address the build was
// configured with (QV_MAIL_ADDRESS), else to the guide's page on reporting
// problems.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace qv {

class DesktopOpener;

// Where the guide's front page may be, most likely first: installed under
// the program's prefix, under the prefix the build was configured for, or
// beside the program in a build tree.
QStringList userGuideCandidates(const QString& programDir);
// The first of those that is there; the installed place when none is.
QString userGuideFile(const QString& programDir = QCoreApplication::applicationDirPath());
// Another page of the guide, in the folder of its front page.
QString userGuidePage(const QString& page, const QString& programDir = QCoreApplication::applicationDirPath());

QUrl homePageUrl(const QString& programDir = QCoreApplication::applicationDirPath());
QString homePageText();  // what the about box shows after "主页:"
QString mailAddress();   // empty when the build names none
QUrl mailUrl(const QString& programDir = QCoreApplication::applicationDirPath());
QString mailText();  // what the about box shows after "Email:"

// "我的主页" and the about box's home-page label.
void openHomePage(DesktopOpener& opener);
// "给我写信" and the about box's mail label: a new message to the author, or
// the guide's page on reporting problems.
void openMail(DesktopOpener& opener);

// "帮助": venlomar.chm in `programDir` when it is there, else the user guide.
// True when something was handed on.
QString helpFilePath(const QString& programDir);
bool openHelp(DesktopOpener& opener, const QString& programDir = QCoreApplication::applicationDirPath());

}  // namespace qv
