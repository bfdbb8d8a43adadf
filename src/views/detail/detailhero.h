#pragma once

#include "models/detaillogic.h"
#include "models/title.h"

#include <QMap>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace tovra {

class MetaLink;
class Poster;

// The top of the title page: the poster beside the title, its alias and the metadata rows,
// which spread over the poster's height. Genre, cast, director, region and a release year are
// links that ask for a filtered list.
class DetailHero : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kPosterWidth = 220;
    static constexpr int kPosterHeight = 325;

    explicit DetailHero(const ItemDetail &detail, QWidget *parent = nullptr);

    // The rows present, by label, in page order.
    QStringList rowLabels() const;
    // What a row shows: its link texts, or its single value.
    QStringList rowValues(const QString &label) const;
    QList<MetaLink *> links(const QString &label) const;
    QLabel *titleLabel() const { return m_title; }
    QLabel *aliasLabel() const { return m_alias; }
    Poster *poster() const { return m_poster; }

signals:
    void filterRequested(const QString &title, const QMap<QString, QString> &params);

private:
    void addRow(const QString &label, QWidget *value, bool link);
    void linkRow(const QString &label, const QStringList &values, const QString &param);
    void yearRow(const QString &showdate, const QString &year);
    void plainRow(const QString &label, const std::optional<QString> &value);
    void scoreRow(const std::optional<QString> &score);
    MetaLink *link(const QString &label, const QString &text, const titlepage::FilterRequest &request);

    Poster *m_poster = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_alias = nullptr;
    QVBoxLayout *m_column = nullptr;
    QList<std::pair<QString, QWidget *>> m_rows;
};

}
