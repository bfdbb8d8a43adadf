#include "views/detail/torrentcard.h"

#include "models/detaillogic.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr qreal kRadius = 10;
constexpr qreal kMetaPixels = 11.5;
}

TorrentCard::TorrentCard(const Torrent &torrent, bool member, QWidget *parent)
    : QWidget(parent), m_torrent(torrent), m_member(member)
{
    const bool sized = torrent.size && !torrent.size->isEmpty();
    Access::control(this, sized ? torrent.name + QStringLiteral("，") + *torrent.size : torrent.name, QAccessible::Button,
                    [this] { emit openRequested(); });
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(5);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    m_name = new QLabel(this);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setFont(uiFont(14));
    // Ignored: the name takes what the other parts leave and is elided in the middle to fit.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->setMinimumWidth(40);
    m_name->installEventFilter(this);
    setPointingHand(m_name);
    header->addWidget(m_name, 1);

    m_size = tintedLabel(torrent.size.value_or(QString()), 12, Palette::Name::Warn, this);
    m_size->setFont(monoFont(12));
    m_size->setVisible(torrent.size && !torrent.size->isEmpty());
    header->addWidget(m_size);
    header->addStretch(0);

    m_badge = new QWidget(this);
    auto *badgeRow = new QHBoxLayout(m_badge);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->setSpacing(4);
    badgeRow->addWidget(new SymbolView(QStringLiteral("lock"), 12, Palette::Name::Warn, m_badge));
    m_price = tintedLabel(QStringLiteral("%1 BT币").arg(torrent.price), 12, Palette::Name::Warn, m_badge);
    badgeRow->addWidget(m_price);
    header->addWidget(m_badge);

    m_copy = new QPushButton(this);
    m_copy->setFont(uiFont(12));
    m_copy->installEventFilter(this);
    setPointingHand(m_copy);
    connect(m_copy, &QPushButton::clicked, this, &TorrentCard::copyRequested);
    header->addWidget(m_copy);
    column->addLayout(header);

    auto *meta = new QHBoxLayout;
    meta->setSpacing(10);
    m_date = tintedLabel(QStringLiteral("收录时间：") + torrent.date.value_or(QString()), kMetaPixels,
                         Palette::Name::TextFaint, this);
    m_date->setVisible(torrent.date && !torrent.date->isEmpty());
    meta->addWidget(m_date);
    meta->addSpacing(8);
    meta->addStretch(1);
    m_heat = tintedLabel(QStringLiteral("热度:%1").arg(torrent.heat), kMetaPixels, Palette::Name::TextFaint, this);
    meta->addWidget(m_heat);
    column->addLayout(meta);

    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyName();
    setMember(member);
    followAppearance(this, [this](bool) {
        applyName();
        applyCopyButton();
    });
}

void TorrentCard::setMember(bool member)
{
    m_member = member;
    const bool price = titlepage::showsPrice(m_torrent, m_member);
    m_badge->setVisible(price);
    m_copy->setVisible(!price);
    applyCopyButton();
}

void TorrentCard::setCopyLabel(const std::optional<QString> &label)
{
    m_copyLabel = label;
    applyCopyButton();
}

void TorrentCard::applyName()
{
    QFont font = m_name->font();
    font.setUnderline(m_nameHover);
    m_name->setFont(font);
    QPalette p = m_name->palette();
    p.setColor(QPalette::WindowText, m_nameHover ? Palette::accent() : Palette::text());
    m_name->setPalette(p);
    const int room = std::max(0, m_name->width());
    m_name->setText(QFontMetrics(font).elidedText(m_torrent.name, Qt::ElideMiddle, room));
}

void TorrentCard::applyCopyButton()
{
    const bool dark = Palette::isDark();
    QColor text = Palette::textDim(dark);
    QColor fill = Palette::surface2(dark);
    QColor border = Palette::border(dark);
    if (m_copyLabel == titlepage::kCopied) {
        text = Palette::copiedText(dark);
        fill = Palette::copiedBg(dark);
        border = fill;
    } else if (m_buttonHover) {
        text = Palette::accent(dark);
        border = Palette::accent(dark);
    }
    // One rule for every state: a disabled button keeps the colours of its status.
    m_copy->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                                         " border-radius: 6px; padding: 4px 12px; }")
                              .arg(text.name(QColor::HexArgb), fill.name(QColor::HexArgb), border.name(QColor::HexArgb)));
    // Server text never reaches this button, but "&" would still turn into a mnemonic.
    m_copy->setText(QString(m_copyLabel.value_or(QStringLiteral("复制磁力"))).replace(u'&', QStringLiteral("&&")));
    // "复制成功" is disabled under the focus that pressed it: the focus stays with this card.
    Access::setEnabled(m_copy, titlepage::copyEnabled(m_copyLabel), this);
}

bool TorrentCard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_name) {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
            m_nameHover = event->type() == QEvent::Enter;
            applyName();
        } else if (event->type() == QEvent::Resize) {
            applyName();
        }
    } else if (watched == m_copy && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        m_buttonHover = event->type() == QEvent::Enter;
        applyCopyButton();
    }
    return QWidget::eventFilter(watched, event);
}

void TorrentCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(shape, kRadius, kRadius);
    painter.fillPath(path, Palette::surface());
    painter.setPen(QPen(Palette::borderSoft(), 1));
    painter.drawPath(path);
}

void TorrentCard::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TorrentCard::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) {
        event->accept();
        emit openRequested();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

}
