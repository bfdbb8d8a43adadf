#include "views/components/pager.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <limits>

namespace tovra {

Pager::Model Pager::model(const std::optional<Meta> &meta, qint64 page)
{
    Model m;
    if (!meta || !meta->pages || *meta->pages < 2)
        return m;
    m.shown = true;
    m.previousEnabled = page >= 2;
    // The next page is offered only when the server says there is more; the page count alone
    // does not decide it.
    m.nextEnabled = meta->hasMore.value_or(false) && page < std::numeric_limits<qint64>::max();
    m.position = QStringLiteral("第 %1 / %2 页").arg(page).arg(*meta->pages);
    return m;
}

Pager::Pager(QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 12, 0, 12);
    row->setSpacing(12);
    row->addStretch(1);

    m_previous = new QPushButton(QStringLiteral("上一页"), this);
    m_position = new QLabel(this);
    m_position->setTextFormat(Qt::PlainText);
    m_position->setFont(uiFont(TextStyle::kCallout));
    m_next = new QPushButton(QStringLiteral("下一页"), this);
    // The chevron sits after the text on the next button, as the arrow points that way.
    m_next->setLayoutDirection(Qt::RightToLeft);
    for (QPushButton *button : {m_previous, m_next}) {
        button->setFont(uiFont(TextStyle::kBody));
        button->setIconSize(QSize(12, 12));
        button->setAutoDefault(false);
        setPointingHand(button);
    }
    row->addWidget(m_previous, 0, Qt::AlignVCenter);
    row->addWidget(m_position, 0, Qt::AlignVCenter);
    row->addWidget(m_next, 0, Qt::AlignVCenter);
    row->addStretch(1);

    connect(m_previous, &QPushButton::clicked, this, [this] { request(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { request(m_page + 1); });

    applyColors();
    followAppearance(this, [this](bool) { applyColors(); });
    setState(std::nullopt, 1);
}

Pager::Pager(const std::optional<Meta> &meta, qint64 page, std::function<void(qint64)> onChange, QWidget *parent)
    : Pager(parent)
{
    m_onChange = std::move(onChange);
    setState(meta, page);
}

void Pager::applyColors()
{
    QPalette p = m_position->palette();
    p.setColor(QPalette::WindowText, Palette::textDim());
    m_position->setPalette(p);
    // The chevrons take the buttons' own text colour, whatever palette the buttons are drawn
    // with.
    const QColor ink = m_previous->palette().color(QPalette::Active, QPalette::ButtonText);
    m_previous->setIcon(Icons::icon(QStringLiteral("chevron.left"), ink));
    m_next->setIcon(Icons::icon(QStringLiteral("chevron.right"), ink));
}

void Pager::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void Pager::setState(const std::optional<Meta> &meta, qint64 page)
{
    m_page = page;
    m_model = model(meta, page);
    m_previous->setEnabled(m_model.previousEnabled);
    m_next->setEnabled(m_model.nextEnabled);
    m_position->setText(m_model.position);
    if (!m_model.shown) {
        hide();
    } else if (parentWidget()) {
        show();
    } else if (isHidden()) {
        // Not placed yet: showing a parentless widget would open a window of its own. Undo an
        // earlier explicit hide so a layout shows it with its parent.
        setAttribute(Qt::WA_WState_ExplicitShowHide, false);
    }
}

void Pager::request(qint64 page)
{
    if (m_onChange)
        m_onChange(page);
    emit pageRequested(page);
}

}
