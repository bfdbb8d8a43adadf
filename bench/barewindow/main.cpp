// The yardstick of the start-up benchmark: the least a Qt Widgets program does to put a main
// window on screen, built on its own so that it maps only what Qt Widgets needs. It reports its
// first paint exactly as the client does under TOVRA_FIRST_PAINT_MARK=exit.

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

class PaintMark : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("first-paint %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
};

}

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
