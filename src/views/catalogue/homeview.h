#pragma once

#include "models/catalogue.h"
#include "models/loadgeneration.h"

#include <QCoroTask>
#include <QList>
#include <QWidget>
#include <optional>

class QPushButton;
class QScrollArea;
class QStackedLayout;
class QVBoxLayout;

namespace tovra {

class AutoRefresh;
class HotList;
class PosterGrid;
class SectionHeader;
class StateOverlay;

// The home section: today's hot list, then the poster sections of the home record. A stored
// record up to 600 s old shows at once; the page refreshes itself silently every 600 s and
// whenever the application becomes active, updating the sections in place so the scroll
// position and the cards of unchanged titles stay as they are.
class HomeView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRefreshSeconds = 600;

    explicit HomeView(QWidget *parent = nullptr);
    ~HomeView() override;

    enum class Shown { Placeholder, Error, Content, Nothing };
    Shown shown() const;
    const std::optional<HomeData> &data() const { return m_data; }
    const std::optional<QString> &error() const { return m_error; }
    bool isLoading() const { return m_loading; }

    // The parts on show, for tests and for a reviewer's grabs.
    StateOverlay *overlay();
    QScrollArea *contentArea() const { return m_content; }
    HotList *hotList() const { return m_hot; }
    // The poster sections currently shown, in page order, with their heading and grid.
    struct SectionView
    {
        int slot = 0;
        QWidget *box = nullptr;
        SectionHeader *header = nullptr;
        QPushButton *more = nullptr;
        PosterGrid *grid = nullptr;
        std::optional<QString> moreName;
    };
    QList<const SectionView *> visibleSections() const;
    AutoRefresh *autoRefresh() const { return m_autoRefresh; }

public slots:
    // A normal load: the stored record first, then the network.
    void reload();
    // The timer's and activation's load: the network only, and no placeholder or error until
    // it answers. Skipped while a load is still on its way: that one brings the news.
    void refresh();

signals:
    void selected(const QString &did);
    void moreRequested(const QString &name);
    // A load, of any kind, brought the record from the server.
    void loaded();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<> load(bool silent);
    void setData(HomeData data);
    void render();
    QWidget *placeholder();
    QWidget *nothing();
    SectionView &section(int slot, const QString &symbol);

    std::optional<HomeData> m_data;
    std::optional<QString> m_error;
    bool m_loading = true;
    bool m_busy = false; // the newest load has not answered yet
    bool m_firstLoad = true;
    LoadGeneration m_generation;

    QStackedLayout *m_stack = nullptr;
    QWidget *m_placeholder = nullptr;
    StateOverlay *m_overlay = nullptr;
    QScrollArea *m_content = nullptr;
    QWidget *m_nothing = nullptr;
    QVBoxLayout *m_sections = nullptr;
    QWidget *m_hotBox = nullptr;
    HotList *m_hot = nullptr;
    QList<SectionView> m_posterSections; // by slot, made on first use
    AutoRefresh *m_autoRefresh = nullptr;
};

}
