#pragma once

#include "models/catalogue.h"
#include "views/components/posterslot.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace tovra {

// One title as a card: the poster with its score, rank / updated / year chips and badge
// strip, an information panel while the pointer is over the poster, and the title below.
// A click anywhere on the card reports the title's did.
class PosterCard : public QWidget
{
    Q_OBJECT
public:
    explicit PosterCard(const Item &item, const std::optional<QString> &today = std::nullopt,
                        QWidget *parent = nullptr);

    const Item &item() const { return m_item; }
    void setItem(const Item &item);
    const std::optional<QString> &today() const { return m_today; }
    void setToday(const std::optional<QString> &today);
    bool isHovering() const { return m_hovering; }
    void setOnClick(std::function<void(const QString &did)> onClick) { m_onClick = std::move(onClick); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void clicked(const QString &did);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setHovering(bool hovering);

    Item m_item;
    std::optional<QString> m_today;
    std::function<void(const QString &)> m_onClick;
    PosterSlot m_slot;
    QStringList m_titleLines;
    qreal m_titleWidth = -1;
    bool m_hovering = false;
    bool m_pressed = false;
    qint64 m_shimmerStart = -1;
};

}
