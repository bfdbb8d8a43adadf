#pragma once

#include "store/themestore.h"

#include <QTest>

namespace tovra::test {

// Forces the effective appearance through the store's own cycle (Auto -> Light -> Dark).
// Call it with an IsolatedHome alive: the mode is written to the settings.
inline void forceAppearance(bool dark)
{
    ThemeStore *store = ThemeStore::shared();
    const auto wanted = dark ? ThemeStore::Mode::Dark : ThemeStore::Mode::Light;
    for (int i = 0; i < 3 && store->mode() != wanted; ++i)
        store->toggle();
}

// The rows of a data table that runs a case once in each appearance, as a bool column "dark".
inline void addAppearanceRows()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

}
