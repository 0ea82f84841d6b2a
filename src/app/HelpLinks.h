#pragma once
// The help menu's links: the home page, the mail address and the help file
// beside the program, all handed to the desktop without waiting for it.
#include <QCoreApplication>
#include <QString>
#include <QUrl>

namespace qv {

class DesktopOpener;

QUrl homePageUrl();     // https://qarvenda.example.org/
QString mailAddress();  // qarvenda@example.org
QUrl mailUrl();         // mailto: of the above

// "我的主页" and the about box's home-page label.
void openHomePage(DesktopOpener& opener);
// "给我写信" and the about box's mail label: a new message to the author.
void openMail(DesktopOpener& opener);

// "帮助": venlomar.chm in `programDir`, handed to the desktop when it is
// there; nothing at all otherwise. True when it was handed on.
QString helpFilePath(const QString& programDir);
bool openHelp(DesktopOpener& opener, const QString& programDir = QCoreApplication::applicationDirPath());

}  // namespace qv
