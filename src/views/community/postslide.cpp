#include "views/community/postslide.h"

#include "models/communitylogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/community/countbadge.h"
#include "views/community/roundimage.h"
#include "views/community/slideimage.h"
#include "views/community/torrentrow.h"
#include "views/components/pointinghand.h"
#include "views/components/systemopen.h"
#include "views/components/typography.h"
#include "views/engine/engineloader.h"
#include "views/engine/loopingmedia.h"
#include "views/engine/mediaengine.h"
#include "views/palette.h"

#include <QBoxLayout>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kInset = 24;
constexpr int kColumnGap = 16;
constexpr int kTorrentPanelWidth = 620;

void addShadow(QWidget *widget)
{
    auto *shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.33));
    shadow->setBlurRadius(12); // Qt's blur radius is a diameter-like extent: twice the design's 6
    shadow->setOffset(0, 0);
    widget->setGraphicsEffect(shadow);
}

QLabel *whiteLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(p);
    return label;
}

// A rounded panel in the surface colour, for the torrent list.
class SurfacePanel : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(shape, Palette::surface());
    }
};
}

PostSlide::PostSlide(const BbsPost &post, LikeHandler onLiked, QWidget *parent)
    : QWidget(parent), m_post(post), m_onLiked(std::move(onLiked))
{
    m_media = buildMedia();
    m_media->setParent(this);

    m_left = new QWidget(this);
    auto *left = new QVBoxLayout(m_left);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(6);
    auto *author = new QHBoxLayout;
    author->setSpacing(8);
    author->addWidget(new RoundImage(m_post.photo, 28, QColor::fromRgbF(0.5, 0.5, 0.5, 0.3), m_left));
    author->addWidget(whiteLabel(m_post.nickname, uiFont(TextStyle::kCallout, QFont::Bold), m_left));
    author->addStretch();
    left->addLayout(author);
    if (!m_post.content.isEmpty()) {
        m_content = whiteLabel(m_post.content, uiFont(TextStyle::kCallout), m_left);
        m_content->setWordWrap(true);
        // Three lines at most: the full text is the post, not the overlay.
        m_content->setMaximumHeight(3 * m_content->fontMetrics().lineSpacing());
        m_content->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        left->addWidget(m_content);
    }
    addShadow(m_left);

    m_right = new QWidget(this);
    auto *right = new QVBoxLayout(m_right);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(16);
    m_like = new CountBadge(QStringLiteral("heart"), 24, m_right);
    setPointingHand(m_like);
    connect(m_like, &QAbstractButton::clicked, this, [this] { toggleLike(); });
    m_comments = new CountBadge(QStringLiteral("bubble.right"), 22, m_right);
    m_comments->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_comments->setFocusPolicy(Qt::NoFocus);
    m_comments->setCount(m_post.commentsNum);
    right->addWidget(m_like, 0, Qt::AlignHCenter);
    right->addWidget(m_comments, 0, Qt::AlignHCenter);
    addShadow(m_right);
    applyLikeFace();
}

PostSlide::~PostSlide() = default;

QMediaPlayer *PostSlide::player() const
{
    return m_player ? m_player->player() : nullptr;
}

void PostSlide::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Qt::black);
}

void PostSlide::resizeEvent(QResizeEvent *)
{
    m_media->setGeometry(rect());
    const QSize rightSize = m_right->sizeHint();
    m_right->setGeometry(width() - kInset - rightSize.width(), height() - kInset - rightSize.height(),
                         rightSize.width(), rightSize.height());
    const int leftWidth = std::max(0, width() - 2 * kInset - rightSize.width() - kColumnGap);
    const int leftHeight = m_left->layout()->hasHeightForWidth() ? m_left->layout()->heightForWidth(leftWidth)
                                                                 : m_left->sizeHint().height();
    m_left->setGeometry(kInset, height() - kInset - leftHeight, leftWidth, leftHeight);
}

QWidget *PostSlide::buildMedia()
{
    switch (m_post.kind()) {
    case BbsPost::Kind::Video:
        if (const auto url = community::mediaUrl(m_post.videos.constFirst()))
            return buildVideo(*url);
        return new QWidget; // an unusable address leaves the black ground
    case BbsPost::Kind::Image:
        return new SlideImage(m_post.images.constFirst());
    case BbsPost::Kind::Audio:
        return buildAudio();
    case BbsPost::Kind::Torrent:
        return buildTorrents();
    case BbsPost::Kind::Text:
        break;
    }
    return buildText();
}

QWidget *PostSlide::buildVideo(const QUrl &url)
{
    m_videoUrl = url;
    m_videoHost = new QWidget;
    auto *layout = new QVBoxLayout(m_videoHost);
    layout->setContentsMargins(0, 0, 0, 0);
    return m_videoHost;
}

void PostSlide::startVideo()
{
    if (LoopingMedia *player = playerFor(m_videoUrl))
        m_videoHost->layout()->addWidget(player->videoWidget(m_videoHost));
}

QWidget *PostSlide::buildAudio()
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setSpacing(14);
    layout->addStretch();
    layout->addWidget(new RoundImage(m_post.photo, 180, Qt::transparent, box), 0, Qt::AlignHCenter);
    if (const auto url = community::mediaUrl(m_post.audios.constFirst())) {
        auto *play = new CountBadge(QStringLiteral("play.circle.fill"), 44, box);
        play->setAccessibleName(QStringLiteral("播放"));
        setPointingHand(play);
        connect(play, &QAbstractButton::clicked, this, [this, url = *url] {
            LoopingMedia *player = playerFor(url);
            if (!player)
                return;
            if (player->isPlaying())
                player->pause();
            else
                player->play();
        });
        layout->addWidget(play, 0, Qt::AlignHCenter);
    }
    layout->addStretch();
    return box;
}

QWidget *PostSlide::buildTorrents()
{
    auto *box = new QWidget;
    auto *outer = new QVBoxLayout(box);
    outer->addStretch();
    auto *panel = new SurfacePanel(box);
    panel->setMaximumWidth(kTorrentPanelWidth);
    auto *rows = new QVBoxLayout(panel);
    rows->setContentsMargins(kInset, kInset, kInset, kInset);
    rows->setSpacing(10);
    for (const BbsTorrent &torrent : m_post.torrents) {
        auto *row = new TorrentRow(torrent.url, torrent.name, panel);
        connect(row, &QAbstractButton::clicked, this, [link = torrent.url] { openTorrent(link); });
        rows->addWidget(row);
    }
    outer->addWidget(panel, 0, Qt::AlignHCenter);
    outer->addStretch();
    return box;
}

QWidget *PostSlide::buildText()
{
    auto *label = whiteLabel(m_post.content, uiFont(TextStyle::kTitle3), nullptr);
    // White on the slide's black ground in both appearances: the window's text colour would
    // vanish in the light one.
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(40, 40, 40, 40);
    return label;
}

void PostSlide::openTorrent(const QString &link)
{
    if (community::linkAction(link) == community::LinkAction::Open)
        openWithSystem(link.trimmed());
}

LoopingMedia *PostSlide::playerFor(const QUrl &url)
{
    if (m_player)
        return m_player.get();
    const auto engine = EngineLoader::engine();
    if (!engine) {
        if (!m_mediaError) {
            m_mediaError = whiteLabel(engine.error(), uiFont(TextStyle::kCallout), m_media);
            m_mediaError->setWordWrap(true);
            m_mediaError->setAlignment(Qt::AlignCenter);
            // Under the audio post's play button; alone on a video post's black ground.
            auto *layout = static_cast<QBoxLayout *>(m_media->layout());
            layout->insertWidget(std::max(0, layout->count() - 1), m_mediaError);
            m_mediaError->show();
        }
        return nullptr;
    }
    m_player = (*engine)->createLoopingMedia(url);
    return m_player.get();
}

void PostSlide::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    // Made when the slide first comes into view, not when the feed builds it beside the current
    // one: a neighbour must not open its stream before the user gets there.
    if (active && !m_player && m_videoHost)
        startVideo();
    if (!m_player)
        return;
    if (active)
        m_player->play();
    else
        m_player->pause();
}

void PostSlide::setLikeState(bool liked, qint64 likesNum)
{
    m_post.liked = liked;
    m_post.likesNum = likesNum;
    applyLikeFace();
}

void PostSlide::applyLikeFace()
{
    if (m_post.liked)
        m_like->setSymbol(QStringLiteral("heart.fill"), QColor(255, 59, 48));
    else
        m_like->setSymbol(QStringLiteral("heart"), Qt::white);
    m_like->setCount(m_post.likesNum);
    m_like->setEnabled(!m_liking);
}

QCoro::Task<> PostSlide::toggleLike()
{
    if (m_liking)
        co_return;
    m_liking = true;
    applyLikeFace();
    QPointer self = this;
    // Copied out of the slide: the answer still reaches the board if the slide is gone.
    const LikeHandler onLiked = m_onLiked;
    const QString did = m_post.did;
    // A like answered after the account changed is the previous account's heart and count: the
    // board (reloaded for the new account by then) must not show it.
    const AccountTicket asked = AuthStore::shared()->ticket();
    auto result = co_await APIClient::shared()->bbsLike(did, community::likeAction(m_post.liked));
    const bool applies = result && asked.isCurrent();
    if (applies && onLiked)
        onLiked(did, *result);
    if (!self)
        co_return;
    if (applies)
        m_post.applyLike(*result);
    m_liking = false;
    applyLikeFace();
}

}
