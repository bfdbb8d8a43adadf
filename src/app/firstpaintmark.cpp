#include "app/firstpaintmark.h"

#include "app/displaysync.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/hotlist.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace tovra {

namespace {

class FirstPaintMark : public QObject
{
public:
    explicit FirstPaintMark(bool exitAfter) : QObject(qApp), m_exitAfter(exitAfter) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        // The hot list is the first part of a filled home page; a skeleton or an error does not
        // count as the page being there.
        auto *hot = qobject_cast<HotList *>(watched);
        HomeView *home = nullptr;
        for (QWidget *w = hot; w && !home; w = w->parentWidget())
            home = qobject_cast<HomeView *>(w);
        if (!home || home->shown() != HomeView::Shown::Content)
            return false;
        qApp->removeEventFilter(this);
        // Reported from the next turn of the event loop, once this paint has been handed to the
        // window system and, on X, drawn by the server.
        QTimer::singleShot(0, this, [this] {
            waitForDisplay();
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("first-paint %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            if (m_exitAfter)
                QCoreApplication::quit();
        });
        return false;
    }

private:
    bool m_exitAfter;
};

}

void installFirstPaintMark()
{
    if (!qEnvironmentVariableIsSet("TOVRA_FIRST_PAINT_MARK"))
        return;
    qApp->installEventFilter(new FirstPaintMark(qEnvironmentVariable("TOVRA_FIRST_PAINT_MARK") == QLatin1String("exit")));
}

}
