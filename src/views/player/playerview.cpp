#include "views/player/playerview.h"

#include "models/playerlogic.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "views/components/stateoverlay.h"
#include "views/components/symbolview.h"
#include "views/components/stackstates.h"
#include "views/engine/engineloader.h"
#include "views/engine/mediaengine.h"
#include "views/engine/nativeplayback.h"
#include "views/palette.h"
#include "views/player/nativeplayer.h"
#include "views/player/qualitymenu.h"
#include "views/player/shakawebview.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tovra {

// The engine makes only these two kinds. Their classes live in the plugin: the page names them for
// its callers but calls none of their functions, which would tie tovra_ui to the engine.
NativePlayer *PlayerView::nativePlayer() const
{
    return static_cast<NativePlayer *>(m_native.data());
}

ShakaWebView *PlayerView::webPlayer() const
{
    return static_cast<ShakaWebView *>(m_web.data());
}

PlayerView::PlayerView(const PlayEntry &entry, const QString &title, int startAt, QWidget *parent)
    : QWidget(parent)
    , m_entry(entry)
    , m_title(title)
    , m_startAt(startAt)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 8, 16, 8);
    m_titleLabel = new QLabel(m_title, bar);
    m_titleLabel->setTextFormat(Qt::PlainText);
    QFont font = m_titleLabel->font();
    font.setBold(true);
    m_titleLabel->setFont(font);
    m_quality = new QualityMenu(bar);
    m_quality->installEventFilter(this);
    // The button comes only once the master playlist is read, a moment after the picture starts:
    // its room is kept from the start, so the bar does not grow then and push the picture down.
    // The HTML5 player's page keeps the same bar, as the page shows before it knows which player
    // it gets.
    QSizePolicy room = m_quality->sizePolicy();
    room.setRetainSizeWhenHidden(true);
    m_quality->setSizePolicy(room);
    m_badge = new QWidget(bar);
    auto *badgeRow = new QHBoxLayout(m_badge);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->setSpacing(4);
    badgeRow->addWidget(new SymbolView(QStringLiteral("clock"), 14, Palette::Name::Warn, m_badge));
    m_badgeText = new QLabel(m_badge);
    m_badgeText->setTextFormat(Qt::PlainText);
    QPalette warn = m_badgeText->palette();
    warn.setColor(QPalette::WindowText, Palette::warn());
    m_badgeText->setPalette(warn);
    badgeRow->addWidget(m_badgeText);
    m_badge->hide();
    row->addWidget(m_titleLabel, 1);
    row->addWidget(m_quality);
    row->addWidget(m_badge);
    column->addWidget(bar);

    auto *body = new QWidget(this);
    m_stack = new QStackedLayout(body);
    m_overlay = new StateOverlay(StateOverlay::Kind::loading(), body);
    m_stack->addWidget(m_overlay);
    column->addWidget(body, 1);
    apply();
    // The token changes first, the account's own signal follows once its profile is in; both are
    // heard, and only a token other than the one the authorisation was asked under counts.
    AuthStore *store = AuthStore::shared();
    connect(store, &AuthStore::tokenChanged, this, &PlayerView::accountChanged);
    connect(store, &AuthStore::accountChanged, this, &PlayerView::accountChanged);
}

PlayerView::~PlayerView() = default;

void PlayerView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_started) {
        m_started = true;
        load();
    }
}

bool PlayerView::eventFilter(QObject *watched, QEvent *event)
{
    // The quality button sits in the page's bar but is one of the player's controls: after a
    // choice made with the mouse it keeps the focus, and Space must still pause. Enter opens it.
    if (watched == m_quality && event->type() == QEvent::KeyPress && m_native
        && m_native->handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

QCoro::Task<void> PlayerView::load()
{
    m_loading = true;
    m_error.reset();
    apply();
    QPointer self = this;
    const quint64 generation = ++m_loadGeneration;
    APIClient *client = APIClient::shared();
    m_loadToken = client->currentToken();
    EngineLoader::prepareNativePlayer();
    // The entry's values go to the site exactly as the title page gave them.
    auto result = co_await client->playAuth(m_entry.did, m_entry.token, m_entry.expired);
    if (!self || generation != m_loadGeneration)
        co_return;
    if (result)
        m_auth = std::move(*result);
    else
        m_error = result.error().description();
    m_loading = false;
    apply();
}

void PlayerView::accountChanged()
{
    // Not shown yet, the first load asks under whoever is signed in then.
    if (!m_started || APIClient::shared()->currentToken() == m_loadToken)
        return;
    dropPlayer();
    m_auth.reset();
    load();
}

void PlayerView::dropPlayer()
{
    QWidget *player = m_native ? static_cast<QWidget *>(m_native) : static_cast<QWidget *>(m_web);
    if (!player)
        return;
    m_native = nullptr;
    m_web = nullptr;
    m_stack->removeWidget(player);
    // Hidden now, a native player stops its playback (and sends nothing more under the old
    // account); it is deleted once the event that changed the account is over, as that may have
    // come from a control inside it.
    player->hide();
    player->deleteLater();
}

PlayerView::Shown PlayerView::shown() const
{
    if (m_loading)
        return Shown::Loading;
    if (m_error)
        return Shown::Error;
    if (m_native)
        return Shown::Native;
    if (m_web)
        return Shown::Web;
    return Shown::Nothing;
}

QWidget *PlayerView::trialBadge() const
{
    return m_badge->isHidden() ? nullptr : m_badge;
}

QString PlayerView::trialBadgeText() const
{
    return m_badge->isHidden() ? QString() : m_badgeText->text();
}

void PlayerView::apply()
{
    const bool trial = m_auth && m_auth->et >= 1;
    m_badgeText->setText(trial ? player::trialBadgeText(m_auth->et) : QString());
    m_badge->setVisible(trial);

    if (m_loading) {
        m_overlay->setKind(StateOverlay::Kind::loading());
        m_stack->setCurrentWidget(m_overlay);
    } else if (m_error) {
        showError();
    } else if (m_auth) {
        showPlayer();
    }
    emit stateChanged();
}

void PlayerView::showError()
{
    showFailure(m_overlay, *m_error, this, [](PlayerView *view) { view->load(); });
    m_stack->setCurrentWidget(m_overlay);
}

void PlayerView::showPlayer()
{
    QWidget *player = m_native ? static_cast<QWidget *>(m_native) : static_cast<QWidget *>(m_web);
    if (!player) {
        const auto engine = EngineLoader::engine();
        if (!engine) {
            // The authorisation is fine; the retry goes through it again and tries the plugin anew.
            m_error = engine.error();
            showError();
            return;
        }
        if (player::isHLS(m_auth->url)) {
            m_native = (*engine)->createNativePlayer(*m_auth, m_entry, m_startAt);
            connect(m_native, &NativePlayback::modelChanged, m_quality, &QualityMenu::setModel);
            player = m_native;
        } else {
            m_web = (*engine)->createWebPlayer(*m_auth, m_title);
            player = m_web;
        }
        // The player names its own windows (picture-in-picture, full screen) after the episode.
        player->setWindowTitle(m_title);
        m_stack->addWidget(player);
    }
    m_stack->setCurrentWidget(player);
    // Opened from a title page, the page itself holds the focus (it has no stop of its own to
    // hand it to), or the loading view does: the player takes it, so its keys work before any
    // click. A focus the user moved elsewhere meanwhile stays where it is.
    const QWidget *focus = window()->focusWidget();
    if (!focus || focus == this || m_overlay->isAncestorOf(focus) || focus == m_overlay)
        player->setFocus(Qt::OtherFocusReason);
}

}
