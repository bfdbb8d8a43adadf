#include "support/testmain.h"
#include "views/components/typography.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

namespace tovra::test {
std::vector<std::pair<const char *, Factory>> &registry()
{
    static std::vector<std::pair<const char *, Factory>> classes;
    return classes;
}
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("GST_REGISTRY"))
        qputenv("GST_REGISTRY", TOVRA_GST_REGISTRY); // one plugin registry, not a scan in each case's home
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TovraClientTest"));
    QApplication::setApplicationName(QStringLiteral("TovraClientTest"));
    // Text as the client sets it, so grabs and measured widths are the client's.
    tovra::installApplicationFont();

    // "-class Name" runs one class only; any other arguments go to QTest. "-classes" lists them,
    // one a line, for the build to make CTest entries from (QTest's own -functions and -datatags
    // end the process after the first class).
    QStringList args = app.arguments();
    if (args.contains(QStringLiteral("-classes"))) {
        for (const auto &entry : tovra::test::registry())
            std::printf("%s\n", entry.first);
        return 0;
    }
    QString only;
    if (const auto at = args.indexOf(QStringLiteral("-class")); at >= 0 && at + 1 < args.size()) {
        only = args.at(at + 1);
        args.remove(at, 2);
    }
    int failed = 0;
    for (const auto &[name, make] : tovra::test::registry()) {
        if (!only.isEmpty() && only != QLatin1String(name))
            continue;
        std::unique_ptr<QObject> object(make());
        failed += QTest::qExec(object.get(), args);
    }
    return failed == 0 ? 0 : 1;
}
