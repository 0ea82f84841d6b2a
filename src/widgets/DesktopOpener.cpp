#include "widgets/DesktopOpener.h"

#include <QDesktopServices>

namespace qv {

namespace {
class SystemDesktopOpener : public DesktopOpener {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};
}  // namespace

DesktopOpener& DesktopOpener::system()
{
    static SystemDesktopOpener opener;
    return opener;
}

}  // namespace qv
