#pragma once

#include <QLabel>

namespace tovra {

// One metadata value of the title page as a link: the link colour, the hover colour with an
// underline under the pointer, the hand cursor, and clicked() on a release over it. The text
// is shown unchanged and never wraps.
class MetaLink : public QLabel
{
    Q_OBJECT
public:
    static constexpr qreal kFontPixels = 13.5;

    // key is the row the link stands in ("上映时间"): read before the text, which alone may say
    // little ("2019-05-10").
    MetaLink(const QString &key, const QString &text, QWidget *parent = nullptr);

    bool isHovering() const { return m_hovering; }

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setHovering(bool hovering);
    void applyLook();

    bool m_hovering = false;
    bool m_pressed = false;
};

}
