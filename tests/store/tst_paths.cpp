#include "network/paths.h"

#include <QStandardPaths>
#include <QTest>
#include "support/testmain.h"

class TestPaths : public QObject
{
    Q_OBJECT
private slots:
    void foldersAreAbsoluteAndSeparate()
    {
        QStandardPaths::setTestModeEnabled(true);
        const auto data = tovra::appDataDir();
        const auto cache = tovra::cacheDir();
        const auto http = tovra::httpCacheDir();
        QVERIFY(data && cache && http);
        QVERIFY(data->endsWith(QStringLiteral("/TovraClient")));
        QVERIFY(!http->startsWith(*cache + QLatin1Char('/')));
    }
};

TOVRA_TEST(TestPaths)
#include "tst_paths.moc"
