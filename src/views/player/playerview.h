#pragma once

#include "models/title.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>
#include <optional>

class QLabel;
class QStackedLayout;

namespace tovra {

class NativePlayback;
class NativePlayer;
class QualityMenu;
class ShakaWebView;
class StateOverlay;

// The playback page of one episode. It asks the site for a playback authorisation each time it
// opens (nothing is cached), shows the loading state or the error with a retry meanwhile, then
// plays an HLS playlist in the native player and anything else in the HTML5 player page. While
// a trial limit applies, a badge in the page's bar says how many minutes may be watched.
// The authorisation belongs to the account signed in when it was asked for: when another one
// signs in, or the user signs out, the player goes at once (a native one stops with it) and the
// page asks again, for the new state, before anything plays; until then it shows its loading
// state, and afterwards whatever the site answers for that state.
class PlayerView : public QWidget
{
    Q_OBJECT
public:
    PlayerView(const PlayEntry &entry, const QString &title, int startAt, QWidget *parent = nullptr);
    ~PlayerView() override;

    enum class Shown { Loading, Error, Native, Web, Nothing };
    Shown shown() const;

    const PlayEntry &entry() const { return m_entry; }
    const QString &title() const { return m_title; }
    int startAt() const { return m_startAt; }
    bool isLoading() const { return m_loading; }
    const std::optional<QString> &error() const { return m_error; }
    const std::optional<PlayAuth> &auth() const { return m_auth; }

    StateOverlay *overlay() const { return m_overlay; }
    // The player in use, made by the engine plugin on first show; null before, or when the plugin
    // could not be loaded (the overlay then says so).
    NativePlayer *nativePlayer() const;
    ShakaWebView *webPlayer() const;
    // The trial badge while it is shown, else null.
    QWidget *trialBadge() const;
    QString trialBadgeText() const;
    QualityMenu *qualityMenu() const { return m_quality; }

signals:
    // The load state, the error or the authorisation changed.
    void stateChanged();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QCoro::Task<void> load();
    void apply();
    void showError();
    void showPlayer();
    void accountChanged();
    void dropPlayer();

    PlayEntry m_entry;
    QString m_title;
    int m_startAt = 0;
    std::optional<PlayAuth> m_auth;
    std::optional<QString> m_error;
    bool m_loading = true;
    bool m_started = false;
    // Only the newest load may write: one asked for under the account before is dropped.
    quint64 m_loadGeneration = 0;
    // The user's token the newest load asked under (none when signed out).
    std::optional<QString> m_loadToken;

    QLabel *m_titleLabel = nullptr;
    QWidget *m_badge = nullptr;
    QLabel *m_badgeText = nullptr;
    QualityMenu *m_quality = nullptr;
    QStackedLayout *m_stack = nullptr;
    StateOverlay *m_overlay = nullptr;
    QPointer<NativePlayback> m_native;
    QPointer<QWidget> m_web;
};

}
