#include "views/usercenter/accountcard.h"

#include "store/authstore.h"
#include "views/components/appearance.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/icons.h"
#include "views/usercenter/signbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr qreal kCaption = 11;
constexpr qreal kHeadline = 13;
}

AccountCard::AccountCard(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(6);

    auto *head = new QHBoxLayout;
    head->setSpacing(8);
    m_avatarLabel = new QLabel(this);
    m_avatarLabel->setFixedSize(kAvatarSize, kAvatarSize);
    m_avatarLabel->setAlignment(Qt::AlignCenter);
    head->addWidget(m_avatarLabel, 0, Qt::AlignVCenter);
    auto *names = new QVBoxLayout;
    names->setSpacing(2);
    m_name = tintedLabel(QString(), kHeadline, Palette::Name::Text, this, QFont::DemiBold);
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    names->addWidget(m_name);
    m_coins = tintedLabel(QString(), kCaption, Palette::Name::TextDim, this);
    m_coins->setFont(monoFont(kCaption));
    names->addWidget(m_coins);
    head->addLayout(names, 1);
    layout->addLayout(head);

    m_member = tintedLabel(QString(), TextStyle::kCaption2, Palette::Name::Warn, this);
    layout->addWidget(m_member);

    m_sign = new SignButton(this);
    layout->addWidget(m_sign);

    connect(AuthStore::shared(), &AuthStore::userChanged, this, &AccountCard::followUser);
    followAppearance(this, [this](bool) { renderAvatar(); });
    followUser();
}

void AccountCard::followUser()
{
    m_model = usercenter::accountCard(AuthStore::shared()->user());
    m_name->setText(m_model.name);
    m_coins->setText(m_model.coinLine);
    m_member->setText(m_model.memberLine.value_or(QString()));
    m_member->setVisible(m_model.memberLine.has_value());

    if (m_model.avatar != m_avatarUrl) {
        m_avatarUrl = m_model.avatar;
        m_avatar = QImage();
        if (ImageLoader *loader = ImageLoader::shared()) {
            loader->cancel(m_avatarTicket);
            m_avatarTicket = 0;
            if (m_avatarUrl) {
                const qreal dpr = devicePixelRatioF();
                const QSize fit(qCeil(kAvatarSize * dpr), qCeil(kAvatarSize * dpr));
                const QUrl asked = *m_avatarUrl;
                m_avatarTicket = loader->load(asked, this, [this, asked](const QImage &image) {
                    // A failure keeps the placeholder; an answer for an older address is dropped.
                    if (m_avatarUrl != asked)
                        return;
                    m_avatar = image;
                    renderAvatar();
                }, fit);
            }
        }
    }
    renderAvatar();
}

void AccountCard::renderAvatar()
{
    const qreal dpr = devicePixelRatioF();
    if (m_avatar.isNull()) {
        const QColor colour = m_model.member ? Palette::warn() : Palette::textDim();
        const int size = int(TextStyle::kTitle2 + 6);
        m_avatarLabel->setPixmap(Icons::pixmap(m_model.placeholderSymbol, colour, size, dpr));
        return;
    }
    // Fill the circle keeping the picture's proportions, cropping what overflows.
    const int side = qCeil(kAvatarSize * dpr);
    QPixmap round(side, side);
    round.fill(Qt::transparent);
    QPainter p(&round);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(0, 0, side, side));
    p.setClipPath(circle);
    const QImage scaled = m_avatar.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    p.drawImage(QPointF((side - scaled.width()) / 2.0, (side - scaled.height()) / 2.0), scaled);
    p.end();
    round.setDevicePixelRatio(dpr);
    m_avatarLabel->setPixmap(round);
}

}
