#include "catalogue.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <array>
#include <numeric>
#include <QDateTime>
#include <QUrl>

namespace tovra::samplesite {

namespace {

// Same seed, same site: screenshots and manual checks stay comparable from run to run.
constexpr quint32 kSeed = 20240611;
constexpr int kTitleCount = 320;
constexpr int kFilterPageSize = 24;
constexpr int kSearchPageSize = 20;
constexpr int kTop250PageSize = 20;

struct Category
{
    int id;
    const char *name;
    const char *icon;
    int weight; // share of the catalogue, out of 100
    QStringList genres;
};

const QList<Category> &categories()
{
    static const QList<Category> list = {
        {1, "电影", "film", 45, {"剧情", "喜剧", "动作", "爱情", "科幻", "悬疑", "犯罪", "惊悚", "战争", "家庭"}},
        {2, "电视剧", "tv", 25, {"古装", "都市", "悬疑", "家庭", "武侠", "历史", "爱情", "刑侦"}},
        {3, "动漫", "play", 10, {"热血", "冒险", "治愈", "校园", "奇幻", "搞笑"}},
        {4, "综艺", "mic", 8, {"真人秀", "脱口秀", "音乐", "访谈", "竞技"}},
        {5, "纪录片", "camera", 7, {"自然", "历史", "人文", "美食", "科技"}},
        {6, "短剧", "clapperboard", 5, {"逆袭", "甜宠", "悬疑", "都市"}},
    };
    return list;
}

// A sidebar category that is a genre across columns rather than a column of its own; the home
// page's "人间情暖" section links to it.
const Category kRomance{7, "爱情", "star", 0, {"都市", "青春", "古装"}};

const QStringList kCountries = {"中国大陆", "中国香港", "中国台湾", "美国", "日本",
                                "韩国", "英国", "法国", "泰国", "印度"};

const QStringList kPrefixes = {"星河", "长安", "雾都", "北方", "沉默", "暗涌", "夏日", "归途", "无声", "烈火",
                               "青春", "迷城", "山海", "孤岛", "深蓝", "风起", "追光", "白夜", "破晓", "江湖"};
const QStringList kSuffixes = {"之歌", "往事", "密码", "行动", "少年", "来信", "旅人", "守望", "谜案", "故事",
                               "边境", "迷局", "回声", "信号", "日记", "风暴", "之心", "档案", "旧梦", "传说"};
const QStringList kPrefixesEn = {"Starry River", "Chang'an", "Foggy City", "Northward", "Silence", "Undercurrent",
                                 "Summer", "Homeward", "Voiceless", "Blaze", "Youth", "Lost City", "Mountains and Seas",
                                 "Lone Island", "Deep Blue", "Rising Wind", "Chasing Light", "White Night",
                                 "Daybreak", "Jianghu"};
const QStringList kSuffixesEn = {"Song", "Memories", "Code", "Operation", "Boy", "Letters", "Traveler", "Watch",
                                 "Mystery", "Story", "Frontier", "Game", "Echo", "Signal", "Diary", "Storm",
                                 "Heart", "Files", "Old Dreams", "Legend"};
const QStringList kShowSuffixes = {"大作战", "的夏天", "来了", "之夜", "挑战赛", "研究所"};
const QStringList kDocSuffixes = {"纪行", "的四季", "之美", "密语", "百科", "影像志"};

const QStringList kSurnames = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴",
                               "徐", "孙", "马", "朱", "胡", "郭", "何", "林", "罗", "高"};
const QStringList kGivenNames = {"伟", "芳", "敏", "静", "磊", "洋", "艳", "勇", "涛", "明", "超", "秀英",
                                 "志强", "晓东", "雨桐", "子轩", "梓涵", "浩然", "思远", "嘉怡", "一鸣", "若溪",
                                 "天佑", "欣妍", "俊杰", "婉清"};
const QStringList kRoles = {"刑警", "记者", "外科医生", "中学教师", "退伍军人", "实习律师", "画家", "厨师",
                            "程序员", "船长", "出租车司机", "古董商"};
const QStringList kEvents = {"一桩尘封多年的旧案", "一场突如其来的风暴", "家族企业的继承之争",
                             "一封迟到二十年的来信", "一次失败的登山行动", "小镇上接连发生的怪事",
                             "一段跨越山海的约定", "一场精心策划的骗局"};
const QStringList kPlaces = {"江南小镇", "西北边陲", "上海弄堂", "重庆山城", "海边渔村", "东北林场", "香港街头",
                             "北京胡同"};
const QStringList kEndings = {"真相一点点浮出水面。", "两人的命运从此紧紧相连。", "一切都回不到从前了。",
                              "他们必须在天亮前做出选择。", "也找回了久违的自己。"};

template<class T>
const T &pick(QRandomGenerator &rng, const QList<T> &list)
{
    return list.at(int(rng.bounded(quint32(list.size()))));
}

QString personName(QRandomGenerator &rng)
{
    return pick(rng, kSurnames) + pick(rng, kGivenNames);
}

QStringList distinctPicks(QRandomGenerator &rng, const QStringList &from, int count)
{
    QStringList out;
    while (out.size() < count && out.size() < from.size()) {
        const QString &candidate = pick(rng, from);
        if (!out.contains(candidate))
            out.append(candidate);
    }
    return out;
}

QString isoDate(QDate date)
{
    return date.toString(Qt::ISODate);
}

QJsonArray toArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QString highlight(const QString &text, const QString &term)
{
    if (term.isEmpty())
        return text;
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(term, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        out += text.mid(from, at - from) + QStringLiteral("<b>") + text.mid(at, term.size()) + QStringLiteral("</b>");
        from = at + term.size();
    }
    return out + text.mid(from);
}

bool matches(const Title &t, const QString &term)
{
    auto has = [&](const QString &s) { return s.contains(term, Qt::CaseInsensitive); };
    return has(t.title) || has(t.alias) || std::any_of(t.stars.begin(), t.stars.end(), has)
           || std::any_of(t.directors.begin(), t.directors.end(), has);
}

QString sizeText(qint64 megabytes)
{
    if (megabytes >= 1024)
        return QString::number(megabytes / 1024.0, 'f', 2) + QStringLiteral(" GB");
    return QString::number(megabytes) + QStringLiteral(" MB");
}

QString hashHex(const QString &seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha1).toHex());
}

}

Catalogue::Catalogue(const QString &base, QDate today)
    : m_base(base)
    , m_today(today)
{
    generate();
}

QString Catalogue::posterUrl(int number) const
{
    return m_base + QStringLiteral("/posters/%1.jpg").arg(number);
}

const Title *Catalogue::find(const QString &did) const
{
    for (const Title &t : m_titles) {
        if (t.did == did)
            return &t;
    }
    return nullptr;
}

void Catalogue::generate()
{
    QRandomGenerator rng(kSeed);

    // Every prefix/suffix pair once, in a seeded order.
    QList<int> combos(kPrefixes.size() * kSuffixes.size());
    std::iota(combos.begin(), combos.end(), 0);
    for (qsizetype i = combos.size() - 1; i > 0; --i)
        std::swap(combos[i], combos[qsizetype(rng.bounded(quint32(i + 1)))]);

    const int thisYear = m_today.year();
    for (int i = 0; i < kTitleCount; ++i) {
        Title t;
        t.number = i + 1;
        t.did = QString::number(30000 + i * 17 + int(rng.bounded(17u)));

        quint32 roll = rng.bounded(100u);
        const Category *category = &categories().first();
        for (const Category &c : categories()) {
            if (roll < quint32(c.weight)) {
                category = &c;
                break;
            }
            roll -= c.weight;
        }
        t.column = QString::fromUtf8(category->name);

        const int p = combos.at(i) / kSuffixes.size();
        const int s = combos.at(i) % kSuffixes.size();
        if (category->id == 4)
            t.title = kPrefixes.at(p) + kShowSuffixes.at(s % kShowSuffixes.size());
        else if (category->id == 5)
            t.title = kPrefixes.at(p) + kDocSuffixes.at(s % kDocSuffixes.size());
        else
            t.title = kPrefixes.at(p) + kSuffixes.at(s);
        if (rng.bounded(10u) < 6)
            t.alias = kPrefixesEn.at(p) + QLatin1Char(' ') + kSuffixesEn.at(s);

        t.tags = distinctPicks(rng, category->genres, 1 + int(rng.bounded(3u)));
        if (category->id == 3)
            t.countryId = rng.bounded(10u) < 7 ? 5 : 1;
        else if (category->id == 2 || category->id == 6)
            t.countryId = std::array{1, 1, 1, 6, 4, 3}[rng.bounded(6u)];
        else
            t.countryId = 1 + int(rng.bounded(quint32(kCountries.size())));
        t.countries = {kCountries.at(t.countryId - 1)};

        t.directors = {personName(rng)};
        if (rng.bounded(10u) == 0)
            t.directors.append(personName(rng));
        for (int n = 3 + int(rng.bounded(3u)); t.stars.size() < n;) {
            const QString name = personName(rng);
            if (!t.stars.contains(name) && !t.directors.contains(name))
                t.stars.append(name);
        }

        // Recent years are commoner, as on any catalogue site.
        const int back = int(std::min(rng.bounded(20u), rng.bounded(20u)));
        t.showdate = QDate(thisYear - back, 1 + int(rng.bounded(12u)), 1 + int(rng.bounded(28u)));
        if (t.showdate > m_today)
            t.showdate = m_today.addDays(-1 - int(rng.bounded(40u)));
        t.year = t.showdate.year();

        t.score = 50 + int(rng.bounded(47u));
        t.score /= 10.0;
        switch (category->id) {
        case 2: t.episodes = 12 + int(rng.bounded(49u)); break;
        case 3: t.episodes = 12 + int(rng.bounded(15u)); break;
        case 4: t.episodes = 8 + int(rng.bounded(7u)); break;
        case 5: t.episodes = 3 + int(rng.bounded(6u)); break;
        case 6: t.episodes = 60 + int(rng.bounded(41u)); break;
        default: t.episodes = 0;
        }
        t.playable = rng.bounded(10u) < 6;
        t.watchNum = int((1000 + rng.bounded(500000u)) * (t.score / 9.6));
        t.torrentCount = rng.bounded(10u) < 7 ? 1 + int(rng.bounded(8u)) : 0;
        t.heat = int(rng.bounded(3000u));

        // About one title in twenty-three was updated today.
        const int daysAgo = i % 23 == 0 ? 0 : int(rng.bounded(45u));
        t.updated = std::max(t.showdate, m_today.addDays(-daysAgo));
        if (t.episodes == 0) {
            t.badge = std::array{"HD", "4K", "蓝光", "抢先版"}[rng.bounded(4u)];
        } else if (daysAgo < 10) {
            t.badge = QStringLiteral("更新至第%1集").arg(std::max(1, t.episodes - int(rng.bounded(5u))));
        } else {
            t.badge = QStringLiteral("全%1集").arg(t.episodes);
        }

        t.synopsis = QStringLiteral("%1年，%2。%3饰演的%4在%5中卷入%6，与%7饰演的%8一起追寻答案，%9")
                         .arg(t.year)
                         .arg(pick(rng, kPlaces), t.stars.at(0), pick(rng, kRoles), pick(rng, kPlaces),
                              pick(rng, kEvents), t.stars.at(1), pick(rng, kRoles), pick(rng, kEndings));
        m_titles.append(t);
    }
}

QJsonObject Catalogue::itemJson(const Title &t, int rank) const
{
    QJsonObject o{
        {"did", t.did},
        {"title", t.title},
        {"titles", t.alias.isEmpty() ? QJsonArray{t.title} : QJsonArray{t.title, t.alias}},
        {"image", posterUrl(t.number)},
        {"score", t.score},
        {"showdate", isoDate(t.showdate)},
        {"tags", toArray(t.tags)},
        {"torrent_count", t.torrentCount},
        {"watch_num", t.watchNum},
        {"playable", t.playable},
        {"episodes", t.episodes},
        {"stars", toArray(t.stars)},
        {"director", toArray(t.directors)},
        {"country", toArray(t.countries)},
        {"char_date", isoDate(t.updated)},
        {"badge", t.badge},
    };
    if (!t.alias.isEmpty())
        o.insert("alias", t.alias);
    if (rank > 0)
        o.insert("rank", rank);
    return o;
}

QJsonArray Catalogue::nav() const
{
    QJsonArray out;
    auto updatedToday = [&](const Category &c) {
        return int(std::count_if(m_titles.begin(), m_titles.end(), [&](const Title &t) {
            return t.updated == m_today && (t.column == QString::fromUtf8(c.name) || t.tags.contains(QString::fromUtf8(c.name)));
        }));
    };
    auto category = [&](const Category &c) {
        // Ids go out as text for some entries and as numbers for others, as the live site does.
        return QJsonObject{{"id", c.id % 2 ? QJsonValue(c.id) : QJsonValue(QString::number(c.id))},
                           {"name", QString::fromUtf8(c.name)},
                           {"icon", QString::fromLatin1(c.icon)},
                           {"new_count", updatedToday(c)}};
    };
    auto external = [&](const char *id, const char *name, const char *icon, const char *path) {
        return QJsonObject{{"id", QString::fromLatin1(id)},
                           {"name", QString::fromUtf8(name)},
                           {"icon", QString::fromLatin1(icon)},
                           {"url", m_base + QString::fromLatin1(path)},
                           {"external", true}};
    };
    out.append(external("ranking", "今日排行", "trophy", "/ranking"));
    out.append(external("top250", "Top 250", "star", "/top250"));
    for (const Category &c : categories())
        out.append(category(c));
    out.append(category(kRomance));
    out.append(external("request", "求片专区", "users", "/web/request"));
    out.append(external("help", "下载教程", "download", "/web/help"));
    out.append(external("magnet", "磁力工具", "magnet", "/web/magnet"));
    // An entry without an icon: the client falls back to its default.
    out.append(QJsonObject{{"id", "notice"}, {"name", "站点公告"}, {"url", m_base + "/web/notice"}, {"external", true}});
    return out;
}

QJsonObject Catalogue::home() const
{
    QList<const Title *> all;
    for (const Title &t : m_titles)
        all.append(&t);
    auto take = [](QList<const Title *> list, auto less, int count) {
        std::stable_sort(list.begin(), list.end(), less);
        return list.mid(0, count);
    };
    auto byUpdated = [](const Title *a, const Title *b) { return a->updated > b->updated; };
    auto items = [&](const QList<const Title *> &list) {
        QJsonArray out;
        for (const Title *t : list)
            out.append(itemJson(*t));
        return out;
    };
    auto where = [&](auto pred) {
        QList<const Title *> out;
        for (const Title *t : all) {
            if (pred(*t))
                out.append(t);
        }
        return out;
    };

    QJsonArray hot;
    const auto hottest = take(all, [](const Title *a, const Title *b) { return a->heat > b->heat; }, 12);
    for (const Title *t : hottest) {
        hot.append(QJsonObject{{"did", t->did}, {"title", t->title}, {"image", posterUrl(t->number)},
                               {"count", t->heat * 3 + 500}, {"watch_num", t->watchNum}});
    }
    const auto newest = take(all, [](const Title *a, const Title *b) { return a->showdate > b->showdate; }, 18);

    return QJsonObject{
        {"hot", hot},
        {"follow", items(take(all, [](const Title *a, const Title *b) { return a->watchNum > b->watchNum; }, 18))},
        {"erotica", items(take(where([](const Title &t) { return t.tags.contains(QStringLiteral("爱情")); }), byUpdated, 12))},
        {"tv", items(take(where([](const Title &t) { return t.column == QStringLiteral("电视剧"); }), byUpdated, 18))},
        {"new", items(newest)},
        {"list", items(take(all, byUpdated, 24))},
        {"category_ero", QStringLiteral("爱情")},
        {"category_tv", QStringLiteral("电视剧")},
        {"more_tv", 2},
        {"year", QString::number(newest.isEmpty() ? m_today.year() : newest.first()->year)},
        {"date", isoDate(m_today)},
    };
}

QJsonArray Catalogue::ranking() const
{
    QList<const Title *> list;
    for (const Title &t : m_titles)
        list.append(&t);
    std::stable_sort(list.begin(), list.end(), [](const Title *a, const Title *b) { return a->heat > b->heat; });
    QJsonArray out;
    for (const Title *t : list.mid(0, 30))
        out.append(QJsonObject{{"did", t->did}, {"title", t->title}, {"image", posterUrl(t->number)}, {"count", t->heat}});
    return out;
}

Page Catalogue::paged(const QList<const Title *> &list, int page, int limit,
                      const std::function<QJsonValue(const Title *, int)> &toJson)
{
    const int total = int(list.size());
    const int pages = std::max(1, (total + limit - 1) / limit);
    page = std::max(1, page);
    Page out;
    for (int i = (page - 1) * limit; i < std::min(total, page * limit); ++i)
        out.data.append(toJson(list.at(i), i + 1));
    out.meta = QJsonObject{{"page", page}, {"limit", limit}, {"total", total}, {"pages", pages},
                           {"has_more", page < pages}};
    return out;
}

Page Catalogue::top250(int page) const
{
    QList<const Title *> list;
    for (const Title &t : m_titles)
        list.append(&t);
    std::stable_sort(list.begin(), list.end(), [](const Title *a, const Title *b) {
        return a->score != b->score ? a->score > b->score : a->watchNum > b->watchNum;
    });
    list = list.mid(0, 250);
    return paged(list, page, kTop250PageSize, [this](const Title *t, int rank) { return itemJson(*t, rank); });
}

QJsonObject Catalogue::filterOptions() const
{
    QJsonArray column;
    for (const Category &c : categories())
        column.append(QJsonObject{{"id", c.id}, {"name", QString::fromUtf8(c.name)}});
    QJsonArray country{QJsonObject{{"value", 0}, {"label", "全部地区"}}};
    for (int i = 0; i < kCountries.size(); ++i)
        country.append(QJsonObject{{"value", i + 1}, {"label", kCountries.at(i)}});
    QJsonArray year{QJsonObject{{"value", 0}, {"label", "全部年份"}}};
    for (int y = m_today.year(); y > m_today.year() - 20; --y)
        year.append(QJsonObject{{"value", y}, {"label", QString::number(y)}});
    return QJsonObject{
        {"column", column},
        {"country", country},
        {"year", year},
        {"sort", QJsonArray{"最近更新", "评分最高", "最多观看", "最新上映"}},
        {"isbt", QJsonArray{"全部", "有种子"}},
        {"isplay", QJsonArray{"全部", "可在线播放"}},
    };
}

QJsonArray Catalogue::tags(int pid) const
{
    QList<Category> all = categories();
    all.append(kRomance);
    QJsonArray out;
    for (const Category &c : all) {
        if (pid != 0 && c.id != pid)
            continue;
        for (int i = 0; i < c.genres.size(); ++i)
            out.append(QJsonObject{{"id", c.id * 100 + i + 1}, {"name", c.genres.at(i)}});
    }
    return out;
}

QList<const Title *> Catalogue::sortedBy(int sort, QList<const Title *> list) const
{
    std::stable_sort(list.begin(), list.end(), [sort](const Title *a, const Title *b) {
        switch (sort) {
        case 1: return a->score > b->score;
        case 2: return a->watchNum > b->watchNum;
        case 3: return a->showdate > b->showdate;
        default: return a->updated > b->updated;
        }
    });
    return list;
}

// Category browser: "column", "tag", "year", "countryID", "isbt", "isplay", "sort".
// Title page links: "tag", "star", "director", "country", "showtime".
Page Catalogue::filter(const QMap<QString, QString> &params, int page) const
{
    auto param = [&](const char *key) { return params.value(QString::fromLatin1(key)); };
    const QString column = param("column");
    const QString tag = param("tag");
    const QString star = param("star");
    const QString director = param("director");
    const QString country = param("country");
    const int year = param("year").toInt();
    const int showtime = param("showtime").toInt();
    const int countryId = param("countryID").toInt();
    const bool onlyTorrent = param("isbt") == QLatin1String("1");
    const bool onlyPlayable = param("isplay") == QLatin1String("1");

    QList<const Title *> list;
    for (const Title &t : m_titles) {
        if (!column.isEmpty() && t.column != column && !t.tags.contains(column))
            continue;
        if (!tag.isEmpty() && !t.tags.contains(tag))
            continue;
        if (!star.isEmpty() && !t.stars.contains(star))
            continue;
        if (!director.isEmpty() && !t.directors.contains(director))
            continue;
        if (!country.isEmpty() && !t.countries.contains(country))
            continue;
        if (year > 0 && t.year != year)
            continue;
        if (showtime > 0 && t.year != showtime)
            continue;
        if (countryId > 0 && t.countryId != countryId)
            continue;
        if ((onlyTorrent && t.torrentCount == 0) || (onlyPlayable && !t.playable))
            continue;
        list.append(&t);
    }
    return paged(sortedBy(param("sort").toInt(), list), page, kFilterPageSize,
                 [this](const Title *t, int) { return itemJson(*t); });
}

Page Catalogue::search(const QString &query, int page) const
{
    const QString term = query.trimmed();
    QList<const Title *> list;
    if (!term.isEmpty()) {
        for (const Title &t : m_titles) {
            if (matches(t, term))
                list.append(&t);
        }
    }
    // Title matches before cast and crew matches, better scores first within each.
    std::stable_sort(list.begin(), list.end(), [&](const Title *a, const Title *b) {
        const bool ta = a->title.contains(term, Qt::CaseInsensitive);
        const bool tb = b->title.contains(term, Qt::CaseInsensitive);
        return ta != tb ? ta : a->score > b->score;
    });
    Page out = paged(list, page, kSearchPageSize, [this](const Title *t, int) { return itemJson(*t); });
    out.meta.insert("query", query);
    return out;
}

QJsonArray Catalogue::suggest(const QString &query, int limit) const
{
    const QString term = query.trimmed();
    QJsonArray hits;
    if (term.isEmpty())
        return hits;
    for (const Title &t : m_titles) {
        if (hits.size() >= limit)
            break;
        if (!matches(t, term))
            continue;
        QStringList titles{t.title};
        if (!t.alias.isEmpty())
            titles.append(t.alias);
        QStringList markedTitles;
        for (const QString &s : titles)
            markedTitles.append(highlight(s, term));
        QStringList markedStars;
        for (const QString &s : t.stars)
            markedStars.append(highlight(s, term));
        hits.append(QJsonObject{
            {"did", t.did},
            {"title", toArray(titles)},
            {"stars", toArray(t.stars)},
            {"score", t.score},
            {"showdate", isoDate(t.showdate)},
            {"torrents", t.torrentCount},
            {"_formatted", QJsonObject{{"title", toArray(markedTitles)}, {"stars", toArray(markedStars)}}},
        });
    }
    return hits;
}

QJsonArray Catalogue::torrents(const Title &t) const
{
    QRandomGenerator rng(kSeed ^ quint32(t.number));
    static const QStringList kGroups = {"TovraHD", "MTeamSample", "CHDWEB", "FRDS", "HHWEB"};
    QJsonArray out;
    for (int n = 0; n < t.torrentCount; ++n) {
        QString name;
        qint64 megabytes = 0;
        const QString group = pick(rng, kGroups);
        if (t.episodes == 0) {
            // One release per resolution and source, so no two rows of a title read the same.
            static const QStringList kResolutions = {"1080p", "2160p", "720p"};
            static const QStringList kSources = {"WEB-DL.H264.AAC", "BluRay.x265.10bit.DTS", "HDTV.H264.AAC"};
            const int resolution = n % int(kResolutions.size());
            name = QStringLiteral("%1.%2.%3.%4-%5")
                       .arg(t.title)
                       .arg(t.year)
                       .arg(kResolutions.at(resolution), kSources.at((n / 3 + resolution) % 3), group);
            megabytes = (resolution == 1 ? 9000 : resolution == 0 ? 1500 : 700) + rng.bounded(4000u);
        } else {
            switch (n % 3) {
            case 0:
                name = QStringLiteral("%1.全%2集.1080p.WEB-DL-%3").arg(t.title).arg(t.episodes).arg(group);
                megabytes = qint64(t.episodes) * (300 + rng.bounded(500u));
                break;
            case 1: {
                const int last = 1 + int(rng.bounded(quint32(t.episodes)));
                const int first = std::max(1, last - int(rng.bounded(6u)));
                name = QStringLiteral("%1.第%2-%3集.1080p-%4")
                           .arg(t.title)
                           .arg(first, 2, 10, QLatin1Char('0'))
                           .arg(last, 2, 10, QLatin1Char('0'))
                           .arg(group);
                megabytes = qint64(last - first + 1) * (300 + rng.bounded(500u));
                break;
            }
            default:
                name = QStringLiteral("%1.第%2集.4K-%3")
                           .arg(t.title)
                           .arg(1 + int(rng.bounded(quint32(t.episodes))), 2, 10, QLatin1Char('0'))
                           .arg(group);
                megabytes = 1200 + rng.bounded(2000u);
            }
        }
        out.append(QJsonObject{
            {"index", n},
            {"name", name},
            {"size", sizeText(megabytes)},
            {"price", rng.bounded(4u) == 0 ? 5 * (1 + int(rng.bounded(3u))) : 0},
            {"date", isoDate(t.updated.addDays(-int(rng.bounded(20u))))},
            {"heat", int(rng.bounded(5000u))},
        });
    }
    return out;
}

QJsonObject Catalogue::item(const Title &t) const
{
    QJsonArray playList;
    if (t.playable) {
        for (int ep = 1; ep <= std::max(1, t.episodes); ++ep) {
            playList.append(QJsonObject{{"episode", ep},
                                        {"did", t.did},
                                        {"token", hashHex(t.did + QString::number(ep)).left(24)},
                                        {"expired", QDateTime(m_today.addDays(2), QTime(0, 0)).toSecsSinceEpoch()}});
        }
    }
    QJsonArray interested;
    for (const Title &other : m_titles) {
        if (interested.size() >= 12)
            break;
        if (other.did != t.did && other.column == t.column && other.tags.first() == t.tags.first())
            interested.append(itemJson(other));
    }
    QJsonObject o{
        {"did", t.did},
        {"title", t.title},
        {"titles", t.alias.isEmpty() ? QJsonArray{t.title} : QJsonArray{t.title, t.alias}},
        {"image", posterUrl(t.number)},
        {"tags", toArray(t.tags)},
        {"director", toArray(t.directors)},
        {"stars", toArray(t.stars)},
        {"country", toArray(t.countries)},
        {"showdate", isoDate(t.showdate)},
        {"score", t.score},
        {"updated", t.updated.toString(QStringLiteral("yyyy-MM-dd 08:00"))},
        {"text", t.synopsis},
        {"adult", false},
        {"play_list", playList},
        {"torrents", torrents(t)},
        {"interested", interested},
    };
    if (!t.alias.isEmpty())
        o.insert("alias", t.alias);
    return o;
}

QJsonObject Catalogue::torrentDetail(const Title &t, int index) const
{
    const QJsonArray all = torrents(t);
    const QJsonObject row = index >= 0 && index < all.size() ? all.at(index).toObject() : QJsonObject();
    const QString name = row.value("name").toString();
    const QString hash = hashHex(t.did + QLatin1Char('#') + QString::number(index));
    QJsonArray files;
    if (t.episodes == 0) {
        files.append(QJsonObject{{"name", name + QStringLiteral(".mkv")}, {"size", row.value("size").toString()}});
    } else {
        QJsonArray children;
        for (int ep = 1; ep <= std::min(t.episodes, 12); ++ep) {
            children.append(QJsonObject{{"name", QStringLiteral("%1.第%2集.mp4").arg(t.title).arg(ep, 2, 10, QLatin1Char('0'))},
                                        {"size", sizeText(350 + ep * 7)}});
        }
        files.append(QJsonObject{{"name", name}, {"size", row.value("size").toString()}, {"children", children}});
    }
    return QJsonObject{{"did", t.did},
                       {"title", t.title},
                       {"name", name},
                       {"size", row.value("size").toString()},
                       {"magnet", QStringLiteral("magnet:?xt=urn:btih:") + hash},
                       {"hash", hash},
                       {"files", files}};
}

QJsonObject Catalogue::torrentRes(const Title &t, int index) const
{
    const QString hash = hashHex(t.did + QLatin1Char('#') + QString::number(index));
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:%1&dn=%2").arg(hash, QString::fromLatin1(QUrl::toPercentEncoding(t.title)));
    const QByteArray thunder = "AA" + magnet.toUtf8() + "ZZ";
    return QJsonObject{{"magnet", magnet},
                       {"xl", QStringLiteral("thunder://") + QString::fromLatin1(thunder.toBase64())},
                       {"bturl", m_base + QStringLiteral("/torrents/%1-%2.torrent").arg(t.did).arg(index)}};
}

}
