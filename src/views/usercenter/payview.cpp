#include "views/usercenter/payview.h"

#include "models/usercenterpages.h"
#include "models/webaddress.h"
#include "network/imageloader.h"
#include "store/authstore.h"
#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/busyindicator.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/usercenter/roundedpanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kPadding = 24;
constexpr int kBlockWidth = 560;
constexpr int kQrSide = 260;
constexpr int kQrBox = 284;

enum QrPage { kLoadingPage, kImagePage, kFailedPage };

// A tier as a plain button whose two lines and frame change with the selection.
class TierButton : public QPushButton
{
public:
    TierButton(const usercenterpages::PayTier &tier, QWidget *parent) : QPushButton(parent)
    {
        setFlat(true);
        setAutoDefault(false);
        setCheckable(true);
        setPointingHand(this);
        setMinimumHeight(60);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_panel = new RoundedPanel(8, Palette::Name::Surface2, this);
        m_panel->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto *column = new QVBoxLayout(m_panel);
        column->setContentsMargins(4, 12, 4, 12);
        column->setSpacing(4);
        m_amount = tintedLabel(tier.amount, 16, Palette::Name::Text, m_panel, QFont::Bold);
        m_coins = tintedLabel(tier.coins, 11.5, Palette::Name::TextDim, m_panel);
        setAccessibleName(tier.amount + QStringLiteral("，") + tier.coins);
        column->addWidget(m_amount, 0, Qt::AlignHCenter);
        column->addWidget(m_coins, 0, Qt::AlignHCenter);
        auto *fill = new QVBoxLayout(this);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(m_panel);
        connect(this, &QPushButton::toggled, this, [this] { restyle(); });
        followAppearance(this, [this](bool) { restyle(); });
        restyle();
    }

    QSize sizeHint() const override { return m_panel->sizeHint(); }

protected:
    // The panel is the whole face; Fusion's flat-button hover frame would sit on top of it.
    void paintEvent(QPaintEvent *) override {}

private:
    void restyle()
    {
        const bool on = isChecked();
        m_panel->setFill(on ? Palette::Name::AccentDim : Palette::Name::Surface2);
        m_panel->setStroke(on ? Palette::Name::Accent : Palette::Name::BorderSoft);
        tint(m_amount, on ? Palette::Name::Accent : Palette::Name::Text);
    }

    RoundedPanel *m_panel = nullptr;
    QLabel *m_amount = nullptr;
    QLabel *m_coins = nullptr;
};
}

PayView::PayView(QWidget *parent) : PayView(usercenterpages::payQrAddress(), parent) {}

PayView::PayView(QUrl qrAddress, QWidget *parent)
    : QWidget(parent), m_qrAddress(std::move(qrAddress)), m_selected(usercenterpages::kDefaultTier)
{
    auto *scroll = new QScrollArea(this);
    Access::passThrough(scroll);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto *content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    page->setSpacing(16);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(4);
    heading->addWidget(tintedLabel(QStringLiteral("充值BT币（微信）"), TextStyle::kTitle3, Palette::Name::Text, content, QFont::Bold));
    auto *lead = tintedLabel(QStringLiteral("微信扫码充值；如果可以，更建议用支付宝直接开通尊享会员，免充值即可下载"),
                             TextStyle::kCallout, Palette::Name::TextDim, content);
    lead->setWordWrap(true);
    heading->addWidget(lead);
    page->addLayout(heading);

    page->addWidget(buildTiers());
    page->addWidget(buildQr());
    page->addWidget(buildNotes());

    auto *balanceRow = new QHBoxLayout;
    balanceRow->setSpacing(10);
    m_refresh = new QPushButton(content);
    m_refresh->setAutoDefault(false);
    setPointingHand(m_refresh);
    connect(m_refresh, &QPushButton::clicked, this, &PayView::refreshBalance);
    balanceRow->addWidget(m_refresh);
    // One label, two looks: the caption in the dim colour, the number bold in the warning
    // colour. Rich text built here from an integer only; nothing from the server is markup.
    m_balance = new QLabel(content);
    m_balance->setTextFormat(Qt::RichText);
    m_balance->setFont(uiFont(TextStyle::kCallout));
    balanceRow->addWidget(m_balance);
    balanceRow->addStretch(1);
    page->addLayout(balanceRow);
    page->addStretch(1);
    scroll->setWidget(content);

    connect(AuthStore::shared(), &AuthStore::userChanged, this, &PayView::render);
    followAppearance(this, [this](bool) { render(); });
    render();
}

QWidget *PayView::buildTiers()
{
    auto *block = new QWidget(this);
    auto *column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(tintedLabel(QStringLiteral("充值档位 (无需选择，只做介绍使用)"), 12, Palette::Name::TextDim, block));
    auto *rowBox = new QWidget(block);
    rowBox->setMaximumWidth(kBlockWidth);
    auto *row = new QHBoxLayout(rowBox);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    const auto &tiers = usercenterpages::payTiers();
    for (int i = 0; i < tiers.size(); ++i) {
        auto *button = new TierButton(tiers.at(i), rowBox);
        connect(button, &QPushButton::clicked, this, [this, i] { selectTier(i); });
        row->addWidget(button, 1);
        m_tiers.append(button);
    }
    column->addWidget(rowBox);
    return block;
}

QWidget *PayView::buildQr()
{
    auto *block = new QWidget(this);
    block->setMaximumWidth(kBlockWidth);
    auto *centre = new QHBoxLayout(block);
    centre->setContentsMargins(0, 0, 0, 0);
    m_qr = new QStackedWidget(block);
    m_qr->setFixedSize(kQrBox, kQrBox);
    centre->addWidget(m_qr, 0, Qt::AlignHCenter);

    auto *loading = new QWidget(m_qr);
    auto *spin = new QVBoxLayout(loading);
    spin->addWidget(new BusyIndicator(28, loading), 0, Qt::AlignCenter);
    m_qr->insertWidget(kLoadingPage, loading);

    // White whatever the appearance: a phone scans dark modules on a light ground.
    auto *card = new RoundedPanel(12, Palette::Name::Surface, m_qr);
    card->setFixedFill(Qt::white);
    card->setStroke(Palette::Name::BorderSoft);
    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(12, 12, 12, 12);
    m_qrPicture = new QLabel(card);
    m_qrPicture->setAlignment(Qt::AlignCenter);
    m_qrPicture->setFixedSize(kQrSide, kQrSide);
    cardLayout->addWidget(m_qrPicture);
    m_qr->insertWidget(kImagePage, card);

    auto *failed = new RoundedPanel(12, Palette::Name::Surface2, m_qr);
    auto *failedColumn = new QVBoxLayout(failed);
    failedColumn->setSpacing(8);
    failedColumn->addStretch(1);
    failedColumn->addWidget(new SymbolView(QStringLiteral("qrcode"), 34, Palette::Name::TextFaint, failed), 0, Qt::AlignHCenter);
    failedColumn->addWidget(tintedLabel(QStringLiteral("收款码加载失败"), TextStyle::kCallout, Palette::Name::TextDim, failed), 0, Qt::AlignHCenter);
    m_retry = new QPushButton(QStringLiteral("重试"), failed);
    m_retry->setAutoDefault(false);
    setPointingHand(m_retry);
    connect(m_retry, &QPushButton::clicked, this, &PayView::load);
    failedColumn->addWidget(m_retry, 0, Qt::AlignHCenter);
    failedColumn->addStretch(1);
    m_qr->insertWidget(kFailedPage, failed);
    return block;
}

QWidget *PayView::buildNotes()
{
    auto *block = new QWidget(this);
    auto *column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto *how = tintedLabel(QStringLiteral("->>扫码之后在备注栏写上你的Tovra账号；5-10分钟之内到账（如果没到进官方群@群主）；刷新即可<<-"),
                            12.5, Palette::Name::Warn, block);
    how->setWordWrap(true);
    auto *contact = tintedLabel(usercenterpages::payContactNote(), TextStyle::kCaption2 + 1, Palette::Name::TextFaint, block);
    contact->setWordWrap(true);
    column->addWidget(how);
    column->addWidget(contact);
    return block;
}

PayView::QrState PayView::qrState() const
{
    if (!m_image.isNull())
        return QrState::Shown;
    return m_failed ? QrState::Failed : QrState::Loading;
}

void PayView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The page is built afresh for every visit to its tab; its first showing fetches the picture.
    if (!m_started) {
        m_started = true;
        load();
    }
}

void PayView::selectTier(int position)
{
    if (position < 0 || position >= m_tiers.size())
        return;
    m_selected = position;
    render();
}

void PayView::load()
{
    m_failed = false;
    render();
    // Straight from the site through the shared manager, without the API client's token: the
    // picture is public, and the loader only ever fetches http(s) addresses.
    ImageLoader *loader = ImageLoader::shared();
    if (!loader || !m_qrAddress.isValid() || !isWebAddress(m_qrAddress)) {
        m_failed = true;
        render();
        return;
    }
    // The callback is dropped if the page is gone first.
    loader->loadIgnoringStatus(m_qrAddress, this, [this](const QImage &image) {
        if (image.isNull()) {
            // A picture already shown stays; the failure only matters while there is none.
            m_failed = m_image.isNull();
        } else {
            m_image = image;
            m_failed = false;
        }
        render();
    });
}

void PayView::refreshBalance()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    render();
    runRefresh();
}

QCoro::Task<> PayView::runRefresh()
{
    QPointer self = this;
    QPointer<AuthStore> auth = AuthStore::shared();
    if (auth)
        co_await auth->refresh();
    if (!self)
        co_return;
    m_refreshing = false;
    render();
}

void PayView::render()
{
    for (int i = 0; i < m_tiers.size(); ++i)
        m_tiers[i]->setChecked(i == m_selected);

    switch (qrState()) {
    case QrState::Shown:
    {
        QPixmap picture = QPixmap::fromImage(m_image.scaled(m_qrPicture->size() * devicePixelRatioF(),
                                                            Qt::KeepAspectRatio, Qt::SmoothTransformation));
        picture.setDevicePixelRatio(devicePixelRatioF());
        m_qrPicture->setPixmap(picture);
    }
        m_qr->setCurrentIndex(kImagePage);
        break;
    case QrState::Failed:
        m_qr->setCurrentIndex(kFailedPage);
        break;
    case QrState::Loading:
        m_qr->setCurrentIndex(kLoadingPage);
        break;
    }

    m_refresh->setText(m_refreshing ? QStringLiteral("刷新中…") : QStringLiteral("刷新余额"));
    m_refresh->setEnabled(!m_refreshing);

    const auto user = AuthStore::shared()->user();
    m_balance->setVisible(user.has_value());
    if (user) {
        const bool dark = Palette::isDark();
        m_balance->setText(QStringLiteral("<span style=\"color:%1\">当前 BT币：</span>"
                                          "<span style=\"color:%2; font-weight:bold\">%3</span>")
                               .arg(Palette::textDim(dark).name(), Palette::warn(dark).name(), QString::number(user->gold)));
    }
}

}
