#pragma once

#include "views/components/posterslot.h"

#include <QWidget>

namespace tovra {

// One poster image in a 2:3 frame (centred in the widget), filled edge to edge and cropped;
// a shimmering placeholder while it loads, a photo symbol when it cannot be loaded.
class Poster : public QWidget
{
    Q_OBJECT
public:
    explicit Poster(const QString &url = {}, QWidget *parent = nullptr);

    QString url() const { return m_slot.url; }
    void setUrl(const QString &url);
    // Callers that want rounded posters say so here.
    void setCornerRadius(qreal radius);
    PosterVisual::State state() const { return m_slot.state; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    // The 2:3 frame inside the widget.
    QRectF frameRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    PosterSlot m_slot;
    qreal m_cornerRadius = 0;
    qint64 m_shimmerStart = -1;
};

}
