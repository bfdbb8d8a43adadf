#include "models/route.h"

#include <QUrl>

namespace tovra {

const NavItem *SidebarSection::categoryItem() const
{
    if (const auto *category = std::get_if<Category>(&m_value))
        return &category->item;
    return nullptr;
}

namespace navigation {

std::optional<SidebarSection> linkedSection(const NavItem &item)
{
    if (!item.url)
        return std::nullopt;
    // Only a parsable address counts: a text that QUrl rejects never selects a section, it is
    // pushed as a web page whose own screen explains that it cannot be opened.
    const QUrl url(*item.url, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString path = url.path();
    if (path.endsWith(QLatin1String("/ranking")))
        return SidebarSection::ranking();
    if (path.endsWith(QLatin1String("/top250")))
        return SidebarSection::top250();
    return std::nullopt;
}

bool isActive(const NavItem &item, const SidebarSection &section)
{
    const auto linked = linkedSection(item);
    return linked && *linked == section;
}

NavOutcome open(const NavItem &item)
{
    if (!item.url)
        return {NavOutcome::Nothing{}};
    if (auto linked = linkedSection(item))
        return {NavOutcome::Select{std::move(*linked)}};
    if (item.url->isEmpty())
        return {NavOutcome::Nothing{}};
    return {NavOutcome::Push{Route::web(*item.url, item.name)}};
}

SidebarSection openCategory(const QString &name, const QList<NavItem> &nav)
{
    for (const NavItem &item : nav) {
        if (!item.external && item.name == name)
            return SidebarSection::category(item);
    }
    return SidebarSection::category(NavItem::virtualItem(name));
}

SidebarSection repoint(const SidebarSection &current, const QList<NavItem> &nav)
{
    const NavItem *selected = current.categoryItem();
    if (!selected)
        return current;
    for (const NavItem &item : nav) {
        if (!item.external && item.id == selected->id && item.name == selected->name)
            return SidebarSection::category(item);
    }
    return current;
}

RootScreen rootScreen(const QString &submittedSearch, const SidebarSection &section)
{
    if (!submittedSearch.isEmpty())
        return RootScreen::Search;
    if (section.categoryItem())
        return RootScreen::Category;
    if (section.is<SidebarSection::Ranking>())
        return RootScreen::Ranking;
    if (section.is<SidebarSection::Top250>())
        return RootScreen::Top250;
    if (section.is<SidebarSection::Community>())
        return RootScreen::Community;
    return RootScreen::Home;
}

}

}
