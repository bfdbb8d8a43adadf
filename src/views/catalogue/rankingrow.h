#pragma once

#include "models/catalogue.h"

#include <QWidget>

namespace tovra {

class Poster;

// One row of the daily ranking: place, poster, name and today's download count. The whole
// row is one click target.
class RankingRow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPosterWidth = 40;
    static constexpr int kPlaceWidth = 30;
    static constexpr int kSpacing = 12;

    RankingRow(qint64 place, const RankItem &item, QWidget *parent = nullptr);

    qint64 place() const { return m_place; }
    const RankItem &item() const { return m_item; }
    // Changes only what differs: an equal entry neither repaints nor reloads its poster.
    void setEntry(qint64 place, const RankItem &item);
    Poster *poster() const { return m_poster; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked(const QString &did);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placePoster();
    // "1，片名，<count>": what the row shows, for screen readers.
    QString spokenName() const;

    qint64 m_place = 0;
    RankItem m_item;
    Poster *m_poster = nullptr;
    bool m_pressed = false;
};

}
