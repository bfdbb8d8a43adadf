#pragma once

#include <QAbstractButton>
#include <QColor>
#include <optional>

namespace tovra {

// A white symbol over a small count, drawn over post media (the like and comment counts, and
// the audio play button without a count).
class CountBadge : public QAbstractButton
{
    Q_OBJECT
public:
    CountBadge(const QString &symbol, int symbolSize, QWidget *parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol, const QColor &color);
    QColor symbolColor() const { return m_color; }
    std::optional<qint64> count() const { return m_count; }
    void setCount(std::optional<qint64> count);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_symbolSize;
    QColor m_color = Qt::white;
    std::optional<qint64> m_count;
};

}
