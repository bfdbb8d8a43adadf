#include "buildconfig.h"
#include "store/paths.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Organisation and application share one name so that QSettings lands in
    // ~/.config/TovraClient/TovraClient.conf.
    QApplication::setOrganizationName(QString::fromLatin1(tovra::kAppName));
    QApplication::setApplicationName(QString::fromLatin1(tovra::kAppName));
    QApplication::setApplicationVersion(QString::fromLatin1(tovra::build::kVersion));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("TovraClient"));
    window.resize(1560, 960);
    window.setMinimumSize(1340, 720);
    window.show();
    return app.exec();
}
