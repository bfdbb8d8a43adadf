#pragma once

#include "models/catalogue.h"
#include "views/components/gridgeometry.h"
#include "views/components/paintedlist.h"
#include "views/components/posterslot.h"

#include <QHash>
#include <QList>
#include <functional>
#include <optional>

namespace tovra {

// The seven-column grid of poster cards. One painted widget, however many titles: it sits in
// the screen's scroll area, paints only the cards in the exposed area, loads posters only for
// cards on screen, and lets go of images and downloads for cards far from it, so a list of
// thousands scrolls smoothly in bounded memory.
//
// Giving it a new list keeps what it already has for titles still present (loaded posters,
// title layout), so a silent refresh neither flickers nor moves the scroll position.
class PosterGrid : public PaintedList
{
    Q_OBJECT
public:
    explicit PosterGrid(QWidget *parent = nullptr);
    PosterGrid(const QList<Item> &items, std::function<void(const QString &did)> onSelect,
               const std::optional<QString> &today = std::nullopt, QWidget *parent = nullptr);

    const QList<Item> &items() const { return m_items; }
    void setItems(const QList<Item> &items);
    const std::optional<QString> &today() const { return m_today; }
    void setToday(const std::optional<QString> &today);
    void setOnSelect(std::function<void(const QString &did)> onSelect) { m_onSelect = std::move(onSelect); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    // Geometry and state, for tests and for screens that scroll to a card.
    GridGeometry geometryFor(qreal width) const;
    QRect cardRect(int index) const;
    int indexAt(const QPoint &point) const;
    int hoveredIndex() const { return m_hovered; }
    // Posters held in memory by the grid and downloads it is waiting for.
    int heldImageCount() const;
    int pendingLoadCount() const;
    // While set, the visible posters the HTTP cache holds start decoding on the loader's pool as
    // soon as the grid has its size, and a paint waits for them, so that the frame shows them:
    // for a screen's first frame, where placeholders and a second frame cost more. Left unset,
    // posters arrive as they are decoded.
    void setDecodesCachedBeforePaint(bool on) { m_decodeCachedBeforePaint = on; }

    int entryCount() const override { return int(m_items.size()); }
    QRect entryRect(int index) const override { return cardRect(index); }
    QString entryName(int index) const override;
    void activateEntry(int index) override;
    int entryColumns() const override { return GridGeometry::kColumns; }

signals:
    void selected(const QString &did);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Card
    {
        PosterSlot poster;
        QString title;
        QStringList titleLines;
        qreal titleWidth = -1;
    };

    // Cards are remembered by title and poster address together: records with a missing did
    // must not share one poster.
    static QString cardKey(const Item &item);
    void setHovered(int index, bool overPoster);
    void trim(const QRectF &visible);
    void onPosterLoaded(const QString &key, const QImage &image);
    void shimmerTick();
    QRectF visibleArea() const;
    // The addresses of the posters within visible still to be loaded.
    QList<QUrl> missingPosters(const QRectF &visible) const;
    QSize decodeSize() const;

    QList<Item> m_items;
    QHash<QString, Card> m_cards; // by cardKey()
    std::optional<QString> m_today;
    std::function<void(const QString &)> m_onSelect;
    int m_hovered = -1;
    bool m_hoverOnPoster = false;
    int m_pressed = -1;
    qint64 m_shimmerStart = -1;
    QRectF m_lastTrimmed;
    bool m_decodeCachedBeforePaint = false;
};

}
