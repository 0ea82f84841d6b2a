#include "widgets/DragTypes.h"

#include <QCoreApplication>

namespace qv::drag {

QString directoryFormat()
{
    // Asked on every move of a drag; the process id does not change.
    static const QString format =
        QStringLiteral("application/x-qarvenda-directory-%1").arg(QCoreApplication::applicationPid());
    return format;
}

QString entriesFormat()
{
    static const QString format =
        QStringLiteral("application/x-qarvenda-entries-%1").arg(QCoreApplication::applicationPid());
    return format;
}

}  // namespace qv::drag
