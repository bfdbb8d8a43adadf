#pragma once

#include "models/catalogue.h"

#include <QAbstractButton>

class QLabel;

namespace tovra {

class SymbolView;

// One hit in the suggestion panel: the highlighted title, the year, the score and the resource
// count on the first line, the highlighted cast below. The whole row is one button, tinted while
// it is the keyboard choice or under the pointer.
class SuggestRow : public QAbstractButton
{
    Q_OBJECT
public:
    SuggestRow(const SuggestItem &hit, bool active, QWidget *parent = nullptr);

    const SuggestItem &hit() const { return m_hit; }
    bool isActive() const { return m_active; }
    void setActive(bool active);
    bool isHovering() const { return m_hovering; }
    // Tinted: the keyboard choice or under the pointer.
    bool isHighlighted() const { return m_active || m_hovering; }

    QLabel *titleLabel() const { return m_title; }
    QLabel *yearLabel() const { return m_year; }
    // The score as sent; a star symbol stands before it.
    QLabel *scoreLabel() const { return m_score; }
    QLabel *countLabel() const { return m_count; }
    QLabel *castLabel() const { return m_cast; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    // Room for the title on the first line once the year, score and count have theirs.
    qreal titleRoom() const;

    SuggestItem m_hit;
    bool m_active = false;
    bool m_hovering = false;
    QLabel *m_title = nullptr;
    QLabel *m_year = nullptr;
    QWidget *m_scoreBox = nullptr;
    SymbolView *m_star = nullptr;
    QLabel *m_score = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_cast = nullptr;
};

}
