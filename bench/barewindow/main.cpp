// The yardstick of the start-up benchmark: the least a Qt Widgets program does to put a main
// window on screen, built on its own so that it maps only what Qt Widgets needs.

#include "../paintmark.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1560, 960);
    PaintMark mark;
    window.installEventFilter(&mark);
    window.show();
    return app.exec();
}
