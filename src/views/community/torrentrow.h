#pragma once

#include <QAbstractButton>

namespace tovra {

// One torrent of a post: the download symbol and the torrent's name, at most two lines.
class TorrentRow : public QAbstractButton
{
    Q_OBJECT
public:
    TorrentRow(const QString &url, const QString &name, QWidget *parent = nullptr);

    const QString &url() const { return m_url; }
    const QString &name() const { return m_name; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect(int width) const;

    QString m_url;
    QString m_name;
};

}
