#pragma once

#include <QAbstractButton>

namespace tovra {

// One entry of the member menu: the symbol and the title at the leading edge, the whole row
// clickable and tinted under the pointer.
class MemberMenuButton : public QAbstractButton
{
    Q_OBJECT
public:
    MemberMenuButton(const QString &title, const QString &symbol, QWidget *parent = nullptr);

    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;
    // The keyboard's entry of the menu looks as the one under the pointer does.
    void setHighlighted(bool highlighted);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QString m_symbol;
    bool m_hovering = false;
};

}
