#pragma once
// The pictures of the program: the tree and list image list and the icon.
#include <QIcon>

namespace qv {

enum ImageIndex { kImageBall = 0, kImageOpenBook = 1, kImageClosedBook = 2, kImageSortUp = 3, kImageSortDown = 4 };

void ensureResources();
const QIcon& imageListIcon(int index);  // an empty icon for an index outside 0..4
QIcon applicationIcon();
QIcon searchIcon();

}  // namespace qv
