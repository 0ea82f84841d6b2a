#include "widgets/DragTypes.h"

#include <QCoreApplication>

namespace qv::drag {

QString directoryFormat()
{
    return QStringLiteral("application/x-qarvenda-directory-%1").arg(QCoreApplication::applicationPid());
}

QString entriesFormat()
{
    return QStringLiteral("application/x-qarvenda-entries-%1").arg(QCoreApplication::applicationPid());
}

}  // namespace qv::drag
