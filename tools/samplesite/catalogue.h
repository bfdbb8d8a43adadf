#pragma once

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

namespace tovra::samplesite {

// One title of the sample catalogue, with everything any endpoint may say about it.
struct Title
{
    int number = 0; // position in the catalogue; also the poster number
    QString did;
    QString title;
    QString alias;
    QString column; // the sidebar category it belongs to
    QStringList tags;
    QStringList countries;
    int countryId = 0;
    QStringList directors;
    QStringList stars;
    int year = 0;
    QDate showdate;
    double score = 0;
    int episodes = 0; // 0 for a film
    bool playable = false;
    int watchNum = 0;
    int torrentCount = 0;
    int heat = 0; // downloads today, for the ranking and the hot list
    QDate updated;
    QString badge;
    QString synopsis;
};

// A page of a list reply: the records and the paging block.
struct Page
{
    QJsonArray data;
    QJsonObject meta;
};

// The sample catalogue: a few hundred invented titles with believable Chinese names, people,
// regions and dates, generated from a fixed seed so every run serves the same site. Dates are
// relative to the day the catalogue is built, so some titles are always "updated today".
//
// Each public function answers the "data" (and where paged, "meta") of one endpoint.
class Catalogue
{
public:
    // base is the site's own address ("http://127.0.0.1:<port>"), used for poster addresses
    // and the sidebar's external links.
    Catalogue(const QString &base, QDate today);

    const QList<Title> &titles() const { return m_titles; }
    const Title *find(const QString &did) const;
    QDate today() const { return m_today; }
    QString posterUrl(int number) const;

    QJsonArray nav() const;
    QJsonObject home() const;
    QJsonArray ranking() const;
    Page top250(int page) const;
    QJsonObject filterOptions() const;
    QJsonArray tags(int pid) const;
    // Category browser parameters and the title page's link parameters (see the .cpp).
    Page filter(const QMap<QString, QString> &params, int page) const;
    Page search(const QString &query, int page) const;
    // The search service's "hits", highlighted with <b>..</b>.
    QJsonArray suggest(const QString &query, int limit) const;
    QJsonObject item(const Title &title) const;
    QJsonObject torrentDetail(const Title &title, int index) const;
    QJsonObject torrentRes(const Title &title, int index) const;

    QJsonObject itemJson(const Title &title, int rank = 0) const;

private:
    void generate();
    QList<const Title *> sortedBy(int sort, QList<const Title *> list) const;
    static Page paged(const QList<const Title *> &list, int page, int limit,
                      const std::function<QJsonValue(const Title *, int)> &toJson);
    QJsonArray torrents(const Title &title) const;

    QString m_base;
    QDate m_today;
    QList<Title> m_titles;
};

}
