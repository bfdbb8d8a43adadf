#pragma once

#include "models/apiresponse.h"

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace tovra {

// The previous/next bar under a paged list. It never changes its own page: it reports the
// page asked for, and the screen reloads and gives it the new state.
class Pager : public QWidget
{
    Q_OBJECT
public:
    // What the bar shows for a paging block and the page on screen.
    struct Model
    {
        bool shown = false; // no bar at all (and no room taken) without at least two pages
        bool previousEnabled = false;
        bool nextEnabled = false;
        QString position;   // "第 3 / 10 页"
        friend bool operator==(const Model &, const Model &) = default;
    };
    static Model model(const std::optional<Meta> &meta, qint64 page);

    explicit Pager(QWidget *parent = nullptr);
    Pager(const std::optional<Meta> &meta, qint64 page, std::function<void(qint64)> onChange,
          QWidget *parent = nullptr);

    void setState(const std::optional<Meta> &meta, qint64 page);
    void setOnChange(std::function<void(qint64)> onChange) { m_onChange = std::move(onChange); }
    qint64 page() const { return m_page; }
    const Model &currentModel() const { return m_model; }

    QPushButton *previousButton() const { return m_previous; }
    QPushButton *nextButton() const { return m_next; }
    QLabel *positionLabel() const { return m_position; }

signals:
    void pageRequested(qint64 page);

protected:
    void changeEvent(QEvent *event) override;

private:
    void request(qint64 page);
    void applyColors();

    std::function<void(qint64)> m_onChange;
    qint64 m_page = 1;
    Model m_model;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_position = nullptr;
};

}
