#include "widgets/DesktopOpener.h"

#include <QDesktopServices>

namespace qv {

namespace {
class SystemDesktopOpener : public DesktopOpener {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};
}  // namespace

namespace {
DesktopOpener*& replaced()
{
    static DesktopOpener* opener = nullptr;
    return opener;
}
}  // namespace

DesktopOpener& DesktopOpener::system()
{
    static SystemDesktopOpener opener;
    return replaced() ? *replaced() : opener;
}

void DesktopOpener::setSystem(DesktopOpener* replacement) { replaced() = replacement; }

}  // namespace qv
