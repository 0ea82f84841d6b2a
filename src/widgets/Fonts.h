#pragma once
// The interface face: "宋体", which the application maps to a Chinese font
// the system has, sized in pixels as the windows were laid out.
#include <QFont>

namespace qv {

inline QFont songTi(int pixelSize = 12)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace qv
