#pragma once

#include "models/community.h"
#include "views/community/postslide.h"

#include <QElapsedTimer>
#include <QHash>
#include <QWidget>
#include <optional>

class QToolButton;

namespace tovra {

// The board's feed: one post at a time across the whole area, paged with the wheel, the arrow
// and page keys or the two arrow buttons; every gesture settles on exactly one post. Slides are
// made only for the post in view and its neighbours, so a long feed costs no more than three.
class PostFeed : public QWidget
{
    Q_OBJECT
public:
    explicit PostFeed(PostSlide::LikeHandler onLiked, QWidget *parent = nullptr);

    // The posts in feed order; the post in view stays in view when it is still listed.
    void setPosts(const QList<BbsPost> &posts);
    // Takes over a post's changed like state.
    void updatePost(const BbsPost &post);

    std::optional<QString> current() const;
    // Brings the post into view (none: nothing is in view). Emits nothing.
    void setCurrent(const std::optional<QString> &did);
    // Pages by step posts, as the user does; emits currentChanged when the post changed.
    void step(int delta);

    PostSlide *slide(const QString &did) const { return m_slides.value(did); }
    PostSlide *currentSlide() const;

signals:
    void currentChanged(const QString &did);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    qsizetype indexOf(const QString &did) const;
    void showIndex(qsizetype index);
    void layoutButtons();

    PostSlide::LikeHandler m_onLiked;
    QList<BbsPost> m_posts;
    qsizetype m_index = -1;
    QHash<QString, PostSlide *> m_slides;
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    int m_wheel = 0;
    QElapsedTimer m_lastStep;
};

}
