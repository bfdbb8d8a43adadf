#pragma once

#include <QObject>
#include <functional>
#include <vector>

namespace tovra::test {

// Each area's executable runs every test class registered in it, in registration order,
// so an area can spread its cases over several files.
using Factory = std::function<QObject *()>;
std::vector<std::pair<const char *, Factory>> &registry();

struct Registrar
{
    Registrar(const char *name, Factory factory) { registry().emplace_back(name, std::move(factory)); }
};

}

#define TOVRA_TEST(Class) \
    static const ::tovra::test::Registrar tovra_registrar_##Class(#Class, [] { return new Class; });
