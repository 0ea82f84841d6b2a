#include "widgets/Icons.h"

#include <array>

// The pictures live in the widget library's resources, which a static
// library must register itself.
static void initQarvendaResources() { Q_INIT_RESOURCE(qarvenda); }

namespace qv {

void ensureResources()
{
    static bool done = (initQarvendaResources(), true);
    (void)done;
}

const QIcon& imageListIcon(int index)
{
    ensureResources();
    // Kept for the whole process: icons must not be destroyed after the application object.
    static const auto* icons = new std::array<QIcon, 5>{
        QIcon(QStringLiteral(":/icons/ball.svg")),        QIcon(QStringLiteral(":/icons/book-open.svg")),
        QIcon(QStringLiteral(":/icons/book-closed.svg")), QIcon(QStringLiteral(":/icons/arrow-up.svg")),
        QIcon(QStringLiteral(":/icons/arrow-down.svg")),
    };
    static const auto* none = new QIcon;
    return index >= 0 && index < int(icons->size()) ? (*icons)[size_t(index)] : *none;
}

QIcon applicationIcon()
{
    ensureResources();
    return QIcon(QStringLiteral(":/icons/qarvenda.svg"));
}
QIcon searchIcon()
{
    ensureResources();
    return QIcon(QStringLiteral(":/icons/search.svg"));
}

}  // namespace qv
