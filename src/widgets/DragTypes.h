#pragma once
// Formats of what is dragged inside the window.
#include <QPixmap>
#include <QPoint>
#include <QString>

class QFont;

namespace qv::drag {

// A directory dragged inside the tree.
QString directoryFormat();
// Rows dragged from the entry list. The format names this process, so rows
// dragged from another running copy are not taken for our own selection.
QString entriesFormat();

// The picture that follows the pointer: what is dragged, as a small label.
QPixmap picture(const QString& text, const QFont& font);
// Its hot spot: the picture sits below and right of the pointer, never over
// the directory the pointer is on.
inline constexpr QPoint kPictureHotSpot{-14, -6};

}  // namespace qv::drag
