#include "views/toolbar/suggestpanel.h"

#include "views/components/appearance.h"
#include "views/palette.h"
#include "views/toolbar/suggestrow.h"

#include <QAccessibleEvent>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tovra {

SuggestPanel::SuggestPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("suggestPanel"));
    setFocusPolicy(Qt::NoFocus);

    auto *frame = new QVBoxLayout(this);
    frame->setContentsMargins(kInset, kInset, kInset, kInset);
    frame->setSpacing(0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("suggestScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setAutoFillBackground(false);
    m_scroll->verticalScrollBar()->setFocusPolicy(Qt::NoFocus);

    m_list = new QWidget(m_scroll);
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(0);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    // setWidget() turns filling on, which would paint the window's colour over the panel's surface.
    m_list->setAutoFillBackground(false);
    frame->addWidget(m_scroll);

    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, int(0.6 * 255)));
    shadow->setBlurRadius(28);
    shadow->setOffset(0, 12);
    setGraphicsEffect(shadow);

    followAppearance(this);
    resizeToRows();
}

void SuggestPanel::setSuggestions(const QList<SuggestItem> &hits, int active)
{
    for (SuggestRow *row : std::as_const(m_rows)) {
        m_listLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    m_active = active;
    for (qsizetype i = 0; i < hits.size(); ++i) {
        auto *row = new SuggestRow(hits.at(i), i == active, m_list);
        const int index = int(i);
        connect(row, &SuggestRow::clicked, this, [this, index] { emit rowClicked(index); });
        m_listLayout->insertWidget(int(i), row);
        m_rows.append(row);
    }
    m_scroll->verticalScrollBar()->setValue(0);
    resizeToRows();
}

void SuggestPanel::setActive(int active)
{
    m_active = active;
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        m_rows.at(i)->setActive(i == active);
    // The keyboard choice stays in view while it moves through a long list.
    if (active >= 0 && active < m_rows.size()) {
        m_scroll->ensureWidgetVisible(m_rows.at(active), 0, 0);
        // The keyboard stays in the search field; a screen reader is told which row the arrows
        // are on, as it would be for a list of its own.
        QAccessibleEvent event(m_rows.at(active), QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void SuggestPanel::resizeToRows()
{
    int height = 0;
    for (const SuggestRow *row : std::as_const(m_rows))
        height += row->sizeHint().height();
    m_listHeight = height;
    setFixedSize(kWidth, qMin(height, kMaxListHeight) + 2 * kInset);
}

void SuggestPanel::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Palette::border(dark), 1));
    painter.setBrush(Palette::surface(dark));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

}

namespace tovra {

void SuggestPanel::mousePressEvent(QMouseEvent *event)
{
    // The panel's own margin is part of the panel: a click there must not reach the sheet
    // behind it, which would close the panel.
    event->accept();
}

}
