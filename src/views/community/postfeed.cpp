#include "views/community/postfeed.h"

#include "views/components/access.h"
#include "views/components/pointinghand.h"
#include "views/icons.h"
#include "views/toolbar/plaintooltip.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QToolButton>
#include <QWheelEvent>

namespace tovra {

namespace {
constexpr int kWheelNotch = 120;
// A trackpad fling keeps sending wheel events after the step it asked for; they are swallowed
// for this long so one gesture moves one post.
constexpr qint64 kSettleMs = 350;
constexpr int kButton = 36;

QToolButton *arrowButton(const QString &symbol, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setIcon(Icons::icon(symbol, QColor(255, 255, 255, 200)));
    button->setIconSize(QSize(22, 22));
    button->setAutoRaise(true);
    button->setFixedSize(kButton, kButton);
    button->setAccessibleName(name);
    setPlainToolTip(button, name);
    button->setFocusPolicy(Qt::NoFocus);
    setPointingHand(button);
    return button;
}
}

PostFeed::PostFeed(PostSlide::LikeHandler onLiked, QWidget *parent) : QWidget(parent), m_onLiked(std::move(onLiked))
{
    setFocusPolicy(Qt::StrongFocus);
    Access::describe(this, QStringLiteral("帖子"), QAccessible::List);
    m_up = arrowButton(QStringLiteral("chevron.up"), QStringLiteral("上一条"), this);
    m_down = arrowButton(QStringLiteral("chevron.down"), QStringLiteral("下一条"), this);
    connect(m_up, &QToolButton::clicked, this, [this] { step(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(1); });
    showIndex(-1);
}

void PostFeed::setPosts(const QList<BbsPost> &posts)
{
    const std::optional<QString> shown = current();
    m_posts = posts;
    // Slides of posts no longer listed go; the others keep their players and state.
    QSet<QString> listed;
    for (const BbsPost &post : m_posts)
        listed.insert(post.did);
    for (auto it = m_slides.begin(); it != m_slides.end();) {
        if (listed.contains(it.key())) {
            ++it;
        } else {
            it.value()->deleteLater();
            it = m_slides.erase(it);
        }
    }
    showIndex(shown ? indexOf(*shown) : -1);
}

void PostFeed::updatePost(const BbsPost &post)
{
    const qsizetype index = indexOf(post.did);
    if (index < 0)
        return;
    m_posts[index] = post;
    if (PostSlide *slide = m_slides.value(post.did))
        slide->setLikeState(post.liked, post.likesNum);
}

std::optional<QString> PostFeed::current() const
{
    if (m_index < 0 || m_index >= m_posts.size())
        return std::nullopt;
    return m_posts.at(m_index).did;
}

PostSlide *PostFeed::currentSlide() const
{
    const auto did = current();
    return did ? m_slides.value(*did) : nullptr;
}

void PostFeed::setCurrent(const std::optional<QString> &did)
{
    showIndex(did ? indexOf(*did) : -1);
}

void PostFeed::step(int delta)
{
    if (m_posts.isEmpty())
        return;
    const qsizetype from = std::max<qsizetype>(m_index, 0);
    const qsizetype to = std::clamp<qsizetype>(from + delta, 0, m_posts.size() - 1);
    if (to == m_index)
        return;
    showIndex(to);
    emit currentChanged(m_posts.at(to).did);
}

qsizetype PostFeed::indexOf(const QString &did) const
{
    for (qsizetype i = 0; i < m_posts.size(); ++i) {
        if (m_posts.at(i).did == did)
            return i;
    }
    return -1;
}

void PostFeed::showIndex(qsizetype index)
{
    m_index = index;
    // Keep the neighbours built so paging back and forth finds them ready.
    QSet<QString> keep;
    for (qsizetype i = index - 1; index >= 0 && i <= index + 1; ++i) {
        if (i >= 0 && i < m_posts.size())
            keep.insert(m_posts.at(i).did);
    }
    for (auto it = m_slides.begin(); it != m_slides.end();) {
        if (keep.contains(it.key())) {
            ++it;
        } else {
            // Going away pauses its player (in the slide's destructor).
            it.value()->deleteLater();
            it.value()->hide();
            it = m_slides.erase(it);
        }
    }
    for (qsizetype i = index - 1; index >= 0 && i <= index + 1; ++i) {
        if (i < 0 || i >= m_posts.size())
            continue;
        const BbsPost &post = m_posts.at(i);
        PostSlide *slide = m_slides.value(post.did);
        if (!slide) {
            slide = new PostSlide(post, m_onLiked, this);
            slide->setGeometry(rect());
            m_slides.insert(post.did, slide);
        }
        slide->setActive(i == index);
        slide->setVisible(i == index);
    }
    if (PostSlide *slide = currentSlide())
        slide->lower();
    m_up->setEnabled(index > 0);
    m_down->setEnabled(index >= 0 && index < m_posts.size() - 1);
    m_up->setVisible(index >= 0);
    m_down->setVisible(index >= 0);
    m_up->raise();
    m_down->raise();
}

void PostFeed::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), Qt::black);
}

void PostFeed::resizeEvent(QResizeEvent *)
{
    for (PostSlide *slide : std::as_const(m_slides))
        slide->setGeometry(rect());
    layoutButtons();
}

void PostFeed::layoutButtons()
{
    const int x = width() - kButton - 12;
    const int middle = height() / 2;
    m_up->move(x, middle - kButton - 4);
    m_down->move(x, middle + 4);
}

void PostFeed::wheelEvent(QWheelEvent *event)
{
    event->accept();
    if (m_lastStep.isValid() && m_lastStep.elapsed() < kSettleMs) {
        m_wheel = 0;
        return;
    }
    m_wheel += event->angleDelta().y();
    if (std::abs(m_wheel) < kWheelNotch)
        return;
    const int delta = m_wheel > 0 ? -1 : 1;
    m_wheel = 0;
    m_lastStep.start();
    step(delta);
}

void PostFeed::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Down:
    case Qt::Key_PageDown:
    case Qt::Key_Space:
        step(1);
        break;
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        step(-1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

}
