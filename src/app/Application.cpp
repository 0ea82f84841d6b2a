#include "app/Application.h"

#include <QApplication>

namespace qv {
void setUpChineseUi(QApplication&) {}
int runApplication(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
}  // namespace qv
