#pragma once

#include "models/catalogue.h"

#include <QList>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace tovra {

class SuggestRow;

// The floating list of suggestions: one row per hit in the service's order, 421 wide inside a
// 6-point inset, as tall as its rows up to 560 and scrolling beyond that.
class SuggestPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kListWidth = 421;
    static constexpr int kMaxListHeight = 560;
    static constexpr int kInset = 6;
    static constexpr int kWidth = kListWidth + 2 * kInset;

    explicit SuggestPanel(QWidget *parent = nullptr);

    void setSuggestions(const QList<SuggestItem> &hits, int active);
    void setActive(int active);
    int active() const { return m_active; }
    const QList<SuggestRow *> &rows() const { return m_rows; }
    QScrollArea *scrollArea() const { return m_scroll; }
    // The full height of the rows as laid out, whether or not all of them fit.
    int listHeight() const { return m_listHeight; }

signals:
    void rowClicked(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void resizeToRows();

    QScrollArea *m_scroll = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QList<SuggestRow *> m_rows;
    int m_active = -1;
    int m_listHeight = 0;
};

}
