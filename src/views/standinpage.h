#pragma once

#include <QWidget>

class QLabel;

namespace tovra {

// A placeholder for a screen that is not built yet: it names the screen and what it was opened
// with, so navigation can be followed end to end before every screen exists.
class StandInPage : public QWidget
{
    Q_OBJECT
public:
    explicit StandInPage(const QString &title, const QString &detail = {}, QWidget *parent = nullptr);

    QString title() const;
    QString detail() const;
    // Category roots are kept when the user moves between categories; only their text changes.
    void setTitle(const QString &title);
    void setDetail(const QString &detail);

private:
    void applyColors();

    QLabel *m_title = nullptr;
    QLabel *m_detail = nullptr;
};

}
