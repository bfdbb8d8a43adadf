#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace tovra::test {

// What a grab must also prove: the texts a user reads on a screen, and that none is cut short.

// The texts of the labels and buttons on show inside root.
inline QStringList shownTexts(QWidget *root)
{
    QStringList out;
    for (QLabel *label : root->findChildren<QLabel *>()) {
        if (label->isVisibleTo(root->window()) && !label->text().isEmpty())
            out.append(label->text());
    }
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>()) {
        if (button->isVisibleTo(root->window()) && !button->text().isEmpty())
            out.append(button->text());
    }
    return out;
}

// One-line plain labels on show whose text is wider than the label: clipped. Wrapping labels and
// pictures make room for themselves.
inline QStringList clippedTexts(QWidget *root)
{
    QStringList out;
    for (QLabel *label : root->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(root->window()) || label->wordWrap() || !label->pixmap().isNull()
            || label->textFormat() == Qt::RichText || label->text().contains(QLatin1Char('\n')))
            continue;
        if (label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width() + 1)
            out.append(label->text());
    }
    return out;
}

}
