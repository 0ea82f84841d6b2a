#pragma once
// The pictures of the program: the image list shared by the tree and the
// list, and the program's icon.
#include "store/DirectoryTree.h"

#include <QIcon>
#include <QStyle>

namespace qv {

// The image list. The book pictures are the directory icons the core keeps
// on each node, so they are named after them.
enum ImageIndex : int {
    kImageBall = kIconLeaf,
    kImageOpenBook = kIconExpanded,
    kImageClosedBook = kIconCollapsed,
    kImageSortUp = 3,
    kImageSortDown = 4,
};

void ensureResources();
const QIcon& imageListIcon(int index);  // an empty icon for an index outside 0..4
QIcon applicationIcon();
QIcon searchIcon();
// The desktop theme's letter and printer, or the program's own.
QIcon mailIcon();
QIcon printerIcon();
// The application style's picture `which`, read only when it is first drawn:
// the menus' pictures are not on screen at start-up, and reading them all
// there would slow every start.
QIcon styleIcon(QStyle::StandardPixmap which);
// Whether the icon draws a 16 x 16 picture with at least one visible pixel:
// not when the plug-in that reads its format is missing.
bool iconDraws(const QIcon& icon);

}  // namespace qv
