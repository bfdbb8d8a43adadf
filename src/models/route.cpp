#include "models/route.h"

#include <QUrl>

namespace tovra {

const NavItem *SidebarSection::categoryItem() const
{
    if (const auto *category = std::get_if<Category>(&m_value))
        return &category->item;
    return nullptr;
}

QString SidebarSection::debugName() const
{
    return std::visit(
        [](const auto &value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Category>)
                return QStringLiteral("category(%1)").arg(value.item.name);
            else if constexpr (std::is_same_v<T, Home>)
                return QStringLiteral("home");
            else if constexpr (std::is_same_v<T, Ranking>)
                return QStringLiteral("ranking");
            else if constexpr (std::is_same_v<T, Top250>)
                return QStringLiteral("top250");
            else
                return QStringLiteral("community");
        },
        m_value);
}

QString Route::debugName() const
{
    return std::visit(
        [](const auto &value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Detail>)
                return QStringLiteral("detail(%1)").arg(value.did);
            else if constexpr (std::is_same_v<T, Play>)
                return QStringLiteral("play(%1, %2, %3)").arg(value.entry.did, value.title).arg(value.startAt);
            else if constexpr (std::is_same_v<T, Download>)
                return QStringLiteral("download(%1, %2)").arg(value.did).arg(value.torrent.index);
            else if constexpr (std::is_same_v<T, Web>)
                return QStringLiteral("web(%1, %2)").arg(value.url, value.title);
            else if constexpr (std::is_same_v<T, FilterResult>)
                return QStringLiteral("filterResult(%1)").arg(value.title);
            else if constexpr (std::is_same_v<T, Login>)
                return QStringLiteral("login");
            else if constexpr (std::is_same_v<T, UserCenter>)
                return QStringLiteral("userCenter");
            else
                return QStringLiteral("userCenterVip");
        },
        m_value);
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

}

}
