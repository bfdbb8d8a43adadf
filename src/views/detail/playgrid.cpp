#include "views/detail/playgrid.h"

#include "models/detaillogic.h"
#include "views/components/access.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QResizeEvent>

namespace tovra {

PlayGrid::PlayGrid(const QList<PlayEntry> &entries, const QString &title, QWidget *parent) : QWidget(parent)
{
    const qint64 count = entries.size();
    for (const PlayEntry &entry : entries) {
        auto *button = new QPushButton(titlepage::playButtonText(count, entry.episode), this);
        button->setFont(uiFont(TextStyle::kBody));
        setPointingHand(button);
        const QString name = titlepage::playTitle(title, count, entry.episode);
        connect(button, &QPushButton::clicked, this, [this, entry, name] { emit playRequested(entry, name); });
        button->installEventFilter(this);
        m_buttons.append(button);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

std::pair<int, int> PlayGrid::columns(int width)
{
    // As many minimum-width columns as fit, then widened to share the room, up to the maximum.
    const int count = std::max(1, (width + kSpacing) / (kMinColumn + kSpacing));
    const int each = std::clamp((width - kSpacing * (count - 1)) / count, kMinColumn, kMaxColumn);
    return {count, each};
}

int PlayGrid::rowHeight() const
{
    // The text plus 7 px above and below.
    return fontMetrics().height() + 14 + 4;
}

bool PlayGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const qsizetype at = m_buttons.indexOf(static_cast<QPushButton *>(watched));
    if (at < 0 || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    const std::optional<int> step = Access::gridStep(key->key(), columns(width()).first);
    if (!step)
        return false;
    const qsizetype next = at + *step;
    // At an edge the focus stays put, as in the poster grids.
    if (next >= 0 && next < m_buttons.size())
        m_buttons.at(next)->setFocus(Qt::TabFocusReason);
    return true;
}

int PlayGrid::heightForWidth(int width) const
{
    if (m_buttons.isEmpty())
        return 0;
    const int count = columns(width).first;
    const int rows = int((m_buttons.size() + count - 1) / count);
    return rows * rowHeight() + (rows - 1) * kSpacing;
}

QSize PlayGrid::sizeHint() const
{
    return {kMaxColumn * 6 + kSpacing * 5, heightForWidth(kMaxColumn * 6 + kSpacing * 5)};
}

QSize PlayGrid::minimumSizeHint() const
{
    return {kMinColumn, 0};
}

void PlayGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const auto [count, each] = columns(width());
    const int height = rowHeight();
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        const int row = int(i / count);
        const int column = int(i % count);
        m_buttons.at(i)->setGeometry(column * (each + kSpacing), row * (height + kSpacing), each, height);
    }
}

}
