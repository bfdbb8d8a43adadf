#include "views/components/focusring.h"

#include "views/palette.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QWidget>
#include <cmath>
#include <utility>

namespace tovra {

QWidget *FocusRing::overlayHost(QWidget *target)
{
    const int outset = int(kGap + kWidth);
    QWidget *host = target->parentWidget();
    QRect box = target->geometry().adjusted(-outset, -outset, outset, outset);
    while (host && !host->isWindow() && !host->rect().contains(box)) {
        QWidget *up = host->parentWidget();
        if (!up || up->objectName() == QLatin1StringView("qt_scrollarea_viewport"))
            break;
        box.translate(host->pos());
        host = up;
    }
    return host;
}

namespace {

constexpr const char *kOwnRing = "tovraDrawsOwnFocusRing";

// The overlay: a child of overlayHost() stacked above the focused widget, so it scrolls and clips
// with the widget, and transparent to the mouse, so it never takes a click meant for what it rings.
class RingOverlay : public QWidget
{
public:
    explicit RingOverlay(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("focusRing"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const qreal outset = FocusRing::kGap + FocusRing::kWidth;
        FocusRing::paint(painter, QRectF(rect()).adjusted(outset, outset, -outset, -outset), Palette::isDark());
    }
};

class Tracker : public QObject
{
public:
    bool keyboard = false;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::FocusIn: {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                keyboard = true;
            else if (reason == Qt::MouseFocusReason)
                keyboard = false;
            if (watched->isWidgetType())
                follow(static_cast<QWidget *>(watched));
            break;
        }
        case QEvent::FocusOut:
            if (watched == m_target)
                follow(nullptr);
            break;
        case QEvent::MouseButtonPress:
            if (keyboard) {
                keyboard = false;
                follow(nullptr);
                // A list that rings its own entry keeps the focus through a click elsewhere.
                if (QWidget *focused = QApplication::focusWidget())
                    focused->update();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            // The ring's host may be a few levels up: any widget in between moving moves the ring.
            if (m_target && watched->isWidgetType()
                && (watched == m_target || static_cast<QWidget *>(watched)->isAncestorOf(m_target))
                && watched != m_overlay)
                placeLater();
            break;
        default:
            break;
        }
        return false;
    }

private:
    // These events come in the middle of a layout pass. Showing the ring there (a new host, or a
    // ring that was hidden) would run the host's layout inside that pass, which then finishes
    // with the sizes it worked out before: the controls beside the ring stay squeezed.
    void placeLater()
    {
        if (std::exchange(m_placePending, true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_placePending = false;
                place();
            },
            Qt::QueuedConnection);
    }

    void follow(QWidget *widget)
    {
        const bool ringed = widget && keyboard && widget->hasFocus() && (widget->focusPolicy() & Qt::TabFocus)
                            && !widget->property(kOwnRing).toBool() && !widget->isWindow();
        m_target = ringed ? widget : nullptr;
        place();
    }

    void place()
    {
        QWidget *target = m_target;
        if (!target || !target->isVisible() || !target->hasFocus()) {
            if (m_overlay)
                m_overlay->hide();
            return;
        }
        QWidget *parent = FocusRing::overlayHost(target);
        if (!parent) {
            if (m_overlay)
                m_overlay->hide();
            return;
        }
        if (!m_overlay) {
            m_overlay = new RingOverlay(parent);
        } else if (m_overlay->parentWidget() != parent) {
            m_overlay->setParent(parent);
        }
        const int outset = int(FocusRing::kGap + FocusRing::kWidth);
        const QRect box(target->mapTo(parent, QPoint(0, 0)), target->size());
        m_overlay->setGeometry(box.adjusted(-outset, -outset, outset, outset));
        m_overlay->raise();
        m_overlay->show();
        m_overlay->update();
    }

    QPointer<QWidget> m_target;
    QPointer<RingOverlay> m_overlay;
    bool m_placePending = false;
};

Tracker *tracker()
{
    static QPointer<Tracker> instance;
    if (!instance && qApp) {
        instance = new Tracker;
        instance->setParent(qApp);
        qApp->installEventFilter(instance);
    }
    return instance;
}

}

void FocusRing::install()
{
    tracker();
}

bool FocusRing::keyboardMode()
{
    const Tracker *t = tracker();
    return t && t->keyboard;
}

bool FocusRing::shows(const QWidget *widget)
{
    return widget && widget->hasFocus() && keyboardMode();
}

void FocusRing::setDrawsOwnRing(QWidget *widget)
{
    widget->setProperty(kOwnRing, true);
}

QColor FocusRing::color(bool dark)
{
    // The light accent stands out from white but not from the light greys of bars, chips and
    // selected rows (under 3:1): the ring takes a deeper green that does, on every light ground.
    static const QColor lightRing(0x0B, 0x8A, 0x4F);
    return dark ? Palette::accent(true) : lightRing;
}

qreal FocusRing::contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](float v) { return v <= 0.03928f ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor FocusRing::colorOver(const QColor &ground, bool dark)
{
    const QColor ring = color(dark);
    if (!ground.isValid() || contrast(ring, ground) >= 3)
        return ring;
    const QColor onAccent = Palette::onAccent(dark);
    const QColor text = Palette::text(dark);
    return contrast(onAccent, ground) >= contrast(text, ground) ? onAccent : text;
}

void FocusRing::paint(QPainter &painter, const QRectF &around, bool dark, qreal radius)
{
    const qreal middle = kGap + kWidth / 2;
    QPainterPath path;
    path.addRoundedRect(around.adjusted(-middle, -middle, middle, middle), radius + middle, radius + middle);
    strokeRing(painter, path, color(dark));
}

void FocusRing::paintInside(QPainter &painter, const QRectF &rect, bool dark, qreal radius, const QColor &ground)
{
    const qreal middle = kWidth / 2;
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(middle, middle, -middle, -middle), qMax<qreal>(0, radius - middle),
                        qMax<qreal>(0, radius - middle));
    strokeRing(painter, path, colorOver(ground, dark));
}

void FocusRing::strokeRing(QPainter &painter, const QPainterPath &path, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, kWidth));
    painter.drawPath(path);
    painter.restore();
}

}
