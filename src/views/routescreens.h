#pragma once

#include "models/route.h"

#include <QObject>
#include <QString>
#include <optional>

class QWidget;

namespace tovra {

class NavigationStack;

// Which screen stands for each place in the window: the root for the submitted search or the
// selected section, and a new screen for every pushed route. Where a screen leads on to is asked
// of the window through pushRequested().
class RouteScreens : public QObject
{
    Q_OBJECT
public:
    RouteScreens(NavigationStack *stack, QObject *parent);

    // The stack's root for a submitted search (non-empty) or else for the section. A screen of the
    // same kind stays in place and only learns its new query or category.
    void showRoot(const QString &submittedSearch, const SidebarSection &section);
    // A new screen for the route, not yet on the stack.
    QWidget *screen(const Route &route);

signals:
    void pushRequested(const Route &route);
    // A home-page "more" link.
    void categoryRequested(const QString &name);
    // The home page brought its record from the server: the window's other loads that failed
    // with it (a start with the site down) may go again.
    void homeLoaded();

private:
    NavigationStack *m_stack;
    // None until the first root is set.
    std::optional<navigation::RootScreen> m_rootKind;
    QString m_rootQuery;
};

}
