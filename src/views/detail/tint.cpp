#include "views/detail/tint.h"

#include "views/components/appearance.h"
#include "views/components/typography.h"

#include <QLabel>

namespace tovra {

void tint(QWidget *widget, Palette::Name role)
{
    const auto apply = [widget, role](bool dark) {
        QPalette p = widget->palette();
        p.setColor(QPalette::WindowText, Palette::color(role, dark));
        p.setColor(QPalette::Text, Palette::color(role, dark));
        widget->setPalette(p);
    };
    apply(Palette::isDark());
    followAppearance(widget, apply);
}

QLabel *tintedLabel(const QString &text, qreal pixels, Palette::Name role, QWidget *parent, QFont::Weight weight)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(uiFont(pixels, weight));
    tint(label, role);
    return label;
}

}
