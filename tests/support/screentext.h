#pragma once

#include <QAbstractButton>
#include <QAccessible>
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

// What a screen reader can read under root: the name, value and description of every element
// on show, in tree order or sorted.
inline QStringList heardTexts(QWidget *root, bool sorted = false)
{
    QStringList out;
    const auto walk = [&out](const auto &self, QAccessibleInterface *face, int depth) -> void {
        if (!face || !face->isValid() || face->state().invisible || depth > 60)
            return;
        for (QAccessible::Text kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description}) {
            if (const QString text = face->text(kind); !text.isEmpty())
                out.append(text);
        }
        for (int i = 0; i < face->childCount(); ++i)
            self(self, face->child(i), depth + 1);
    };
    walk(walk, QAccessible::queryAccessibleInterface(root), 0);
    if (sorted)
        out.sort();
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
