#pragma once

#include "models/community.h"

#include <QCoroTask>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QMediaPlayer;

namespace tovra {

class CountBadge;
class LoopingMedia;

// One post of the community board across the whole feed area: its main medium on black, the
// author and text bottom left, the like and comment counts bottom right. A video or audio post
// plays through a looping player of its own, made when a video slide first comes into view (an
// audio post: when the user first presses play), then played while the slide is the one in view
// and paused otherwise. The player comes from the engine plugin; when that cannot be loaded, the
// slide says so where the medium would be.
class PostSlide : public QWidget
{
    Q_OBJECT
public:
    // Told about every successful like or unlike, even when the slide is gone by the time the
    // answer arrives, so the board's copy of the post stays right.
    using LikeHandler = std::function<void(const QString &did, const BbsLikeResult &result)>;

    PostSlide(const BbsPost &post, LikeHandler onLiked, QWidget *parent = nullptr);
    ~PostSlide() override;

    const BbsPost &post() const { return m_post; }
    // Takes over the like state from the board's copy.
    void setLikeState(bool liked, qint64 likesNum);

    bool isActive() const { return m_active; }
    void setActive(bool active);

    // Likes the post when it is not liked, unlikes it when it is; one request at a time, and
    // nothing changes on screen before the server answers.
    QCoro::Task<> toggleLike();
    bool isLiking() const { return m_liking; }

    // The slide's one player, made for url on first use and kept for the slide's life; null when
    // the engine plugin cannot be loaded.
    LoopingMedia *playerFor(const QUrl &url);
    QMediaPlayer *player() const;
    // The sentence shown in place of the medium when the player could not be made, else null.
    QLabel *mediaError() const { return m_mediaError; }

    CountBadge *likeButton() const { return m_like; }
    CountBadge *commentBadge() const { return m_comments; }
    QWidget *media() const { return m_media; }
    QLabel *contentLabel() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildMedia();
    QWidget *buildVideo(const QUrl &url);
    QWidget *buildAudio();
    QWidget *buildTorrents();
    QWidget *buildText();
    static void openTorrent(const QString &link);
    void startVideo();
    void toggleAudio();
    void applyLikeFace();

    BbsPost m_post;
    LikeHandler m_onLiked;
    bool m_active = false;
    bool m_liking = false;
    std::unique_ptr<LoopingMedia> m_player;
    QLabel *m_mediaError = nullptr;
    QWidget *m_videoHost = nullptr; // only for a video post with a playable address
    QUrl m_videoUrl;
    QWidget *m_media = nullptr;
    QWidget *m_left = nullptr;
    QWidget *m_right = nullptr;
    QLabel *m_content = nullptr;
    CountBadge *m_like = nullptr;
    CountBadge *m_comments = nullptr;
};

}
