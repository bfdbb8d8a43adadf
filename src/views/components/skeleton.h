#pragma once

#include <QWidget>

namespace tovra {

// A shimmering placeholder box: surface2 with a soft light band sweeping across it.
class SkeletonBox : public QWidget
{
    Q_OBJECT
public:
    explicit SkeletonBox(qreal cornerRadius, QWidget *parent = nullptr);
    qreal cornerRadius() const { return m_cornerRadius; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    qreal m_cornerRadius;
    qint64 m_start = -1;
};

// A placeholder grid laid out like PosterGrid: per cell a 2:3 box and a title bar.
class PosterGridSkeleton : public QWidget
{
    Q_OBJECT
public:
    explicit PosterGridSkeleton(int count, QWidget *parent = nullptr);
    int count() const { return m_count; }
    void setCount(int count);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static qreal cellHeight(qreal columnWidth);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int m_count;
    qint64 m_start = -1;
};

// The home page's placeholder: three sections of a header bar and a row of seven cards.
class HomeSkeleton : public QWidget
{
    Q_OBJECT
public:
    explicit HomeSkeleton(QWidget *parent = nullptr);
};

}
