#pragma once

#include "views/palette.h"

#include <QAbstractButton>

namespace tovra {

// A toolbar control with an optional symbol before its text. Bordered is the toolbar's standard
// button (a light frame that reacts to the pointer); Plain draws only its label, in one colour
// that the owner picks, and keeps that colour while disabled because the colour itself carries
// the state (the sign-in button's transient labels are disabled but not greyed out).
class ToolbarButton : public QAbstractButton
{
    Q_OBJECT
public:
    enum class Style { Bordered, Plain };

    explicit ToolbarButton(Style style, QWidget *parent = nullptr);

    Style style() const { return m_style; }
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    void setSymbolSize(int pixels);
    void setTextSize(qreal pixels);
    // The label's colour (Plain) or its text colour (Bordered).
    Palette::Name colorRole() const { return m_role; }
    void setColorRole(Palette::Name role);
    // The label as drawn now, in the current appearance.
    QColor labelColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

    QFont labelFont() const;

private:
    Style m_style;
    QString m_symbol;
    int m_symbolSize = 14;
    qreal m_textSize = 12;
    Palette::Name m_role = Palette::Name::Text;
    bool m_hovering = false;
};

}
