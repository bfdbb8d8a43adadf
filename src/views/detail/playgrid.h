#pragma once

#include "models/title.h"

#include <QList>
#include <QWidget>

class QPushButton;

namespace tovra {

// The play list's buttons in as many columns of 92 to 130 px as fit, in the server's order.
class PlayGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMinColumn = 92;
    static constexpr int kMaxColumn = 130;
    static constexpr int kSpacing = 8;

    PlayGrid(const QList<PlayEntry> &entries, const QString &title, QWidget *parent = nullptr);

    const QList<QPushButton *> &buttons() const { return m_buttons; }
    // Columns and their width for an available width.
    static std::pair<int, int> columns(int width);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The entry and the title the player shows for it.
    void playRequested(const tovra::PlayEntry &entry, const QString &title);

protected:
    void resizeEvent(QResizeEvent *event) override;
    // The arrows move through the grid as it is laid out: up and down by row, left and right by
    // episode (a plain button's arrows would only step along the focus chain).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int rowHeight() const;

    QList<QPushButton *> m_buttons;
};

}
