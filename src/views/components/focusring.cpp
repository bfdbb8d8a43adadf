#include "views/components/focusring.h"

#include "views/palette.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QWidget>

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
                place();
            break;
        default:
            break;
        }
        return false;
    }

private:
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
    return Palette::accent(dark);
}

void FocusRing::paint(QPainter &painter, const QRectF &around, bool dark, qreal radius)
{
    const qreal middle = kGap + kWidth / 2;
    QPainterPath path;
    path.addRoundedRect(around.adjusted(-middle, -middle, middle, middle), radius + middle, radius + middle);
    strokeRing(painter, path, dark);
}

void FocusRing::paintInside(QPainter &painter, const QRectF &rect, bool dark, qreal radius)
{
    const qreal middle = kWidth / 2;
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(middle, middle, -middle, -middle), qMax<qreal>(0, radius - middle),
                        qMax<qreal>(0, radius - middle));
    strokeRing(painter, path, dark);
}

void FocusRing::strokeRing(QPainter &painter, const QPainterPath &path, bool dark)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color(dark), kWidth));
    painter.drawPath(path);
    painter.restore();
}

}
