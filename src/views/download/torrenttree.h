#pragma once

#include "models/title.h"

#include <QList>
#include <QSet>
#include <QWidget>

namespace tovra {

class SymbolView;

// A torrent's files, two levels deep: top-level rows that fold their direct children in and
// out, and plain leaf rows below them. Expansion is kept by name, so entries that share a name
// fold together; the set belongs to the page and survives a reload.
class TorrentTree : public QWidget
{
    Q_OBJECT
public:
    TorrentTree(const QList<TorrentEntry> &entries, const QSet<QString> &expanded, QWidget *parent = nullptr);

    int rowCount() const { return m_rows.size(); }
    // The clickable top-level row, its children's box, and its chevron (null without children).
    QWidget *row(int index) const { return m_rows.at(index).row; }
    QWidget *children(int index) const { return m_rows.at(index).children; }
    SymbolView *chevron(int index) const { return m_rows.at(index).chevron; }
    SymbolView *icon(int index) const { return m_rows.at(index).icon; }

    void setExpanded(const QSet<QString> &expanded);

signals:
    void toggled(const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Row
    {
        QString name;
        QWidget *row = nullptr;
        QWidget *children = nullptr;
        SymbolView *chevron = nullptr;
        SymbolView *icon = nullptr;
    };

    QWidget *leaf(const TorrentEntry &child, QWidget *parent);

    QList<Row> m_rows;
};

}
