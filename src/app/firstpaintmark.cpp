#include "app/firstpaintmark.h"

#include "app/displaysync.h"
#include "network/imageloader.h"
#include "views/catalogue/homeview.h"
#include "views/catalogue/hotlist.h"
#include "views/components/sidebarrow.h"
#include "views/contentview.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>
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
        // Windows are sent paint events of their own, before their widgets'.
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        auto *window = qobject_cast<ContentView *>(widget->window());
        if (!window)
            return false;
        // Everything handed over before a frame is painted in it, and nothing is handed over
        // while it is painted: what the first paint of a frame sees is what the frame shows.
        if (!m_framePending) {
            m_framePending = true;
            m_rowsAtFrame = rowsShown(window);
            m_deliveredAtFrame = ImageLoader::shared() ? ImageLoader::shared()->deliveredCount() : 0;
            // Handled from the next turn of the event loop, once the frame has been handed to
            // the window system.
            QTimer::singleShot(0, this, [this] { frameDone(); });
        }
        // The hot list is the first part of a filled home page; a skeleton or an error does not
        // count as the page being there.
        auto *hot = qobject_cast<HotList *>(widget);
        HomeView *home = nullptr;
        for (QWidget *w = hot; w && !home; w = w->parentWidget())
            home = qobject_cast<HomeView *>(w);
        if (home && home->shown() == HomeView::Shown::Content)
            m_contentPainted = true;
        return false;
    }

private:
    // One row per sidebar entry besides "首页", each shown; a list still empty is still to come.
    static bool rowsShown(ContentView *window)
    {
        auto *sidebar = window->findChild<Sidebar *>();
        const QList<SidebarRow *> rows = sidebar ? sidebar->rows() : QList<SidebarRow *>();
        return !window->nav().isEmpty() && rows.size() == window->nav().size() + 1
               && std::all_of(rows.cbegin(), rows.cend(), [](SidebarRow *row) { return row->isVisible(); });
    }

    void frameDone()
    {
        m_framePending = false;
        const bool first = m_contentPainted && !m_firstPrinted;
        // Posters the caches hold count; those waiting for the server do not.
        const ImageLoader *loader = ImageLoader::shared();
        const bool drawn = m_contentPainted && m_rowsAtFrame
                           && (!loader || (loader->deliveredCount() == m_deliveredAtFrame && loader->pendingWithoutNetwork() == 0));
        if (!first && !drawn)
            return;
        // On X, once the server has drawn the frame.
        waitForDisplay();
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        if (first)
            std::printf("first-paint %lld\n", ns);
        m_firstPrinted = true;
        if (drawn)
            std::printf("drawn %lld\n", ns);
        std::fflush(stdout);
        if (!drawn)
            return;
        qApp->removeEventFilter(this);
        if (m_exitAfter)
            QCoreApplication::quit();
    }

    bool m_exitAfter;
    bool m_framePending = false;
    bool m_contentPainted = false;
    bool m_firstPrinted = false;
    bool m_rowsAtFrame = false;
    quint64 m_deliveredAtFrame = 0;
};

}

void installFirstPaintMark()
{
    if (!qEnvironmentVariableIsSet("TOVRA_FIRST_PAINT_MARK"))
        return;
    qApp->installEventFilter(new FirstPaintMark(qEnvironmentVariable("TOVRA_FIRST_PAINT_MARK") == QLatin1String("exit")));
}

}
