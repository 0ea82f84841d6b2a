#include "widgets/DragTypes.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

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

QPixmap picture(const QString& text, const QFont& font)
{
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(text) + 10, metrics.height() + 6);
    const qreal scale = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * scale);
    pixmap.setDevicePixelRatio(scale);
    const QPalette palette = QGuiApplication::palette();
    pixmap.fill(palette.color(QPalette::ToolTipBase));
    QPainter painter(&pixmap);
    painter.setFont(font);
    painter.setPen(palette.color(QPalette::ToolTipText));
    painter.drawRect(QRect(QPoint(0, 0), size).adjusted(0, 0, -1, -1));
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
    return pixmap;
}

}  // namespace qv::drag
