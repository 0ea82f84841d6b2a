#pragma once
// "桌面快捷": a launcher for the running program on the user's desktop, an
// XDG desktop entry named Qarvenda.desktop.
#include <QString>

#include <functional>

namespace qv {

// The user's desktop folder: what `xdg-user-dir DESKTOP` prints, else
// ~/Desktop.
QString userDesktopFolder();

// The text of a desktop entry starting `programPath` in `workingFolder`.
QString desktopEntryText(const QString& programPath, const QString& icon, const QString& workingFolder);

// Writes `desktopFolder`/Qarvenda.desktop for `programPath` started in
// `workingFolder`, replacing a launcher of that name in one step, and marks it
// executable so that desktops trust it. The folder is not created. True when
// written.
bool writeDesktopLauncher(const QString& desktopFolder, const QString& programPath, const QString& workingFolder);

// The command: the running program, started in the folder it works in now
// (so that the launcher opens the same database), on the folder
// `desktopFolder` gives.
// Failures are not reported to the user; the result is for tests.
bool createDesktopLauncher(const std::function<QString()>& desktopFolder = userDesktopFolder);

}  // namespace qv
