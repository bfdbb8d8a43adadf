#pragma once

#include "models/catalogue.h"
#include "models/title.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <variant>

namespace tovra {

// What the main window's root shows when no search is submitted. Two category sections are equal
// only when every field of their items agrees, so the active-row test is plain equality.
class SidebarSection
{
public:
    struct Category
    {
        NavItem item;
        bool operator==(const Category &) const = default;
    };
    struct Home
    {
        bool operator==(const Home &) const = default;
    };
    struct Ranking
    {
        bool operator==(const Ranking &) const = default;
    };
    struct Top250
    {
        bool operator==(const Top250 &) const = default;
    };
    struct Community
    {
        bool operator==(const Community &) const = default;
    };
    using Value = std::variant<Home, Ranking, Top250, Community, Category>;

    SidebarSection() : m_value(Home{}) {}
    SidebarSection(Value value) : m_value(std::move(value)) {}

    static SidebarSection category(NavItem item) { return SidebarSection(Category{std::move(item)}); }
    static SidebarSection home() { return SidebarSection(Home{}); }
    static SidebarSection ranking() { return SidebarSection(Ranking{}); }
    static SidebarSection top250() { return SidebarSection(Top250{}); }
    static SidebarSection community() { return SidebarSection(Community{}); }

    const Value &value() const { return m_value; }
    template<class Case>
    bool is() const
    {
        return std::holds_alternative<Case>(m_value);
    }
    // The item of a category section, or null for the fixed sections.
    const NavItem *categoryItem() const;

    bool operator==(const SidebarSection &) const = default;

private:
    Value m_value;
};

using RouteParams = QMap<QString, QString>;

// A screen pushed on the main window's navigation stack. Equality covers the case and every
// payload field; QMap compares parameters by content, whatever order they were inserted in.
class Route
{
public:
    struct Detail
    {
        QString did;
        bool operator==(const Detail &) const = default;
    };
    struct Play
    {
        PlayEntry entry;
        QString title;
        int startAt = 0;
        bool operator==(const Play &) const = default;
    };
    struct Download
    {
        QString did;
        Torrent torrent;
        bool operator==(const Download &) const = default;
    };
    struct Web
    {
        QString url;
        QString title;
        bool operator==(const Web &) const = default;
    };
    struct FilterResult
    {
        QString title;
        RouteParams params;
        bool operator==(const FilterResult &) const = default;
    };
    struct Login
    {
        bool operator==(const Login &) const = default;
    };
    struct UserCenter
    {
        bool operator==(const UserCenter &) const = default;
    };
    struct UserCenterVip
    {
        bool operator==(const UserCenterVip &) const = default;
    };
    using Value = std::variant<Detail, Play, Login, UserCenter, UserCenterVip, Download, Web, FilterResult>;

    Route(Value value) : m_value(std::move(value)) {}

    static Route detail(QString did) { return Route(Detail{std::move(did)}); }
    static Route play(PlayEntry entry, QString title, int startAt)
    {
        return Route(Play{std::move(entry), std::move(title), startAt});
    }
    static Route download(QString did, Torrent torrent) { return Route(Download{std::move(did), std::move(torrent)}); }
    static Route web(QString url, QString title) { return Route(Web{std::move(url), std::move(title)}); }
    static Route filterResult(QString title, RouteParams params)
    {
        return Route(FilterResult{std::move(title), std::move(params)});
    }
    static Route login() { return Route(Login{}); }
    static Route userCenter() { return Route(UserCenter{}); }
    static Route userCenterVip() { return Route(UserCenterVip{}); }

    const Value &value() const { return m_value; }
    template<class Case>
    bool is() const
    {
        return std::holds_alternative<Case>(m_value);
    }
    template<class Case>
    const Case *get() const
    {
        return std::get_if<Case>(&m_value);
    }

    bool operator==(const Route &) const = default;

private:
    Value m_value;
};

// What a click on an external sidebar item asks the window to do.
struct NavOutcome
{
    struct Nothing
    {
        bool operator==(const Nothing &) const = default;
    };
    // Select this section, empty the search texts and pop to the root.
    struct Select
    {
        SidebarSection section;
        bool operator==(const Select &) const = default;
    };
    // Push this route on top of what is there; section and search stay.
    struct Push
    {
        Route route;
        bool operator==(const Push &) const = default;
    };
    std::variant<Nothing, Select, Push> value;
    bool operator==(const NavOutcome &) const = default;
};

namespace navigation {

// The ranking or Top 250 section an external item's address stands for: only the URL's path takes
// part, so "/ranking?day=1" counts and "/rankings" does not.
std::optional<SidebarSection> linkedSection(const NavItem &item);

// Whether an external item's row is highlighted while section is selected.
bool isActive(const NavItem &item, const SidebarSection &section);

// What a click on an external item does.
NavOutcome open(const NavItem &item);

// The section a home-page "more" link opens: the first non-external sidebar item with exactly that
// name, or else a stand-alone category of that name.
SidebarSection openCategory(const QString &name, const QList<NavItem> &nav);

// After the sidebar list is replaced, the selected category is looked up again by identity (id and
// name, not external) so that a refreshed new-item count does not leave its row unhighlighted.
// Answers the section to select, which is the current one when nothing needs re-pointing.
SidebarSection repoint(const SidebarSection &current, const QList<NavItem> &nav);

// What stands at the root of the stack: the results of a submitted (non-empty) search above any
// section, else the selected section's own screen.
enum class RootScreen { Search, Home, Ranking, Top250, Community, Category };
RootScreen rootScreen(const QString &submittedSearch, const SidebarSection &section);

}

}
