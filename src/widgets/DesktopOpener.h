#pragma once
// Hands addresses and documents to the desktop (the browser, the mail
// program, the help viewer). Behind an interface so that tests can record
// the requests instead of starting programs.
#include <QUrl>

namespace qv {

class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // Starts the desktop's program for `url` and returns at once; true when
    // the request went out (not that something opened).
    virtual bool open(const QUrl& url) = 0;

    // The opener that the program uses: QDesktopServices::openUrl, which
    // starts xdg-open detached (no terminal, no waiting), unless a test has
    // put another in its place.
    static DesktopOpener& system();
    // nullptr puts the desktop's own back.
    static void setSystem(DesktopOpener* replacement);
};

}  // namespace qv
