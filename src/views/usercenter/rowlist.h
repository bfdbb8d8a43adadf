#pragma once

#include "views/components/access.h"
#include "views/components/stateoverlay.h"

#include <QFrame>
#include <QLayoutItem>
#include <QScrollArea>
#include <QScrollBar>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <optional>

namespace tovra::usercenter {

// The scrolling column the user centre's ledger pages show their entries in: rows sit above a
// closing stretch, so a short list keeps to the top.
struct RowList
{
    QScrollArea *scroll = nullptr;
    QWidget *list = nullptr;
    QVBoxLayout *layout = nullptr;

    RowList() = default;
    RowList(QWidget *parent, int sideInset, int spacing)
    {
        scroll = new QScrollArea(parent);
        Access::passThrough(scroll);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->viewport()->setAutoFillBackground(false);
        list = new QWidget(scroll);
        list->setAutoFillBackground(false);
        layout = new QVBoxLayout(list);
        layout->setContentsMargins(sideInset, 8, sideInset, 8);
        layout->setSpacing(spacing);
        layout->addStretch(1);
        scroll->setWidget(list);
    }

    // Drops every row, keeping the closing stretch.
    void clear()
    {
        while (layout->count() > 1) {
            QLayoutItem *item = layout->takeAt(0);
            delete item->widget();
            delete item;
        }
    }

    void append(QWidget *row) { layout->insertWidget(layout->count() - 1, row); }

    // A fresh set of rows starts at its first entry, not where the last set was scrolled to.
    void scrollToTop() { scroll->verticalScrollBar()->setValue(0); }
};

// Puts the overlay in the state a page's load left it: loading, failed (with a retry) or empty.
// Answers false when none of these holds and the page's content is to be shown instead.
inline bool showLoadState(StateOverlay *overlay, bool loading, const std::optional<QString> &error, bool empty,
                          const QString &emptyMessage, std::function<void()> retry)
{
    if (loading)
        overlay->setKind(StateOverlay::Kind::loading());
    else if (error)
        overlay->setKind(StateOverlay::Kind::error(*error, std::move(retry)));
    else if (empty)
        overlay->setKind(StateOverlay::Kind::empty(emptyMessage));
    else
        return false;
    return true;
}

}
