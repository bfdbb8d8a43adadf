#pragma once

#include "models/title.h"

#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;

namespace tovra {

// One torrent of the title page: name and size, the price badge or the copy button, the date
// it was added and its heat. A click anywhere but on the copy button opens the torrent.
class TorrentCard : public QWidget
{
    Q_OBJECT
public:
    TorrentCard(const Torrent &torrent, bool member, QWidget *parent = nullptr);

    const Torrent &torrent() const { return m_torrent; }
    // The status of a copy of this torrent's magnet link; none shows "复制磁力".
    void setCopyLabel(const std::optional<QString> &label);
    const std::optional<QString> &copyLabel() const { return m_copyLabel; }
    void setMember(bool member);

    QLabel *nameLabel() const { return m_name; }
    QLabel *sizeLabel() const { return m_size; }
    QWidget *priceBadge() const { return m_badge; }
    QLabel *priceLabel() const { return m_price; }
    QPushButton *copyButton() const { return m_copy; }
    QLabel *dateLabel() const { return m_date; }
    QLabel *heatLabel() const { return m_heat; }

signals:
    void openRequested();
    void copyRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyName();
    void applyCopyButton();

    Torrent m_torrent;
    std::optional<QString> m_copyLabel;
    bool m_member = false;
    bool m_nameHover = false;
    bool m_buttonHover = false;
    bool m_pressed = false;
    QLabel *m_name = nullptr;
    QLabel *m_size = nullptr;
    QWidget *m_badge = nullptr;
    QLabel *m_price = nullptr;
    QPushButton *m_copy = nullptr;
    QLabel *m_date = nullptr;
    QLabel *m_heat = nullptr;
};

}
