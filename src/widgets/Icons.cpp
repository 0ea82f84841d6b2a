#include "widgets/Icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QImage>

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
QIcon mailIcon()
{
    ensureResources();
    return QIcon::fromTheme(QStringLiteral("mail-message-new"), QIcon(QStringLiteral(":/icons/mail.svg")));
}
QIcon printerIcon()
{
    ensureResources();
    return QIcon::fromTheme(QStringLiteral("document-print"), QIcon(QStringLiteral(":/icons/printer.svg")));
}

namespace {

// Stands in for a style icon and asks the style for it on first use.
class StyleIconEngine : public QIconEngine {
public:
    explicit StyleIconEngine(QStyle::StandardPixmap which) : m_which(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size / scale, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("qarvenda-style-icon"); }
    QIconEngine* clone() const override { return new StyleIconEngine(*this); }

private:
    const QIcon& icon()
    {
        if (m_icon.isNull())
            m_icon = QApplication::style()->standardIcon(m_which);
        return m_icon;
    }

    QStyle::StandardPixmap m_which;
    QIcon m_icon;
};

}  // namespace

QIcon styleIcon(QStyle::StandardPixmap which) { return QIcon(new StyleIconEngine(which)); }

bool iconDraws(const QIcon& icon)
{
    const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

}  // namespace qv
