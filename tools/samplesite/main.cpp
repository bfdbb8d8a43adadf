#include "sampleserver.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

// A local stand-in for the catalogue site, for trying the client without the real service:
//   tovra-samplesite [--port N] [--port-file PATH]
int main(int argc, char *argv[])
{
    // Posters are painted with fonts, which need a GUI application, but this tool never shows a
    // window and must run on machines without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("tovra-samplesite"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a sample catalogue on 127.0.0.1 for TovraClient."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption portFileOption(QStringLiteral("port-file"),
                                            QStringLiteral("Write the chosen port to this file once listening."),
                                            QStringLiteral("PATH"));
    parser.addOption(portOption);
    parser.addOption(portFileOption);
    parser.process(app);

    bool portOk = false;
    const uint requested = parser.value(portOption).toUInt(&portOk);
    if (!portOk || requested > 65535) {
        std::fprintf(stderr, "tovra-samplesite: --port needs a number from 0 to 65535\n");
        return 2;
    }

    tovra::samplesite::SampleServer server;
    const quint16 port = server.listen(quint16(requested));
    if (port == 0) {
        std::fprintf(stderr, "tovra-samplesite: cannot listen on 127.0.0.1:%u\n", requested);
        return 1;
    }

    // Written whole or not at all: the launcher script polls for a non-empty file.
    if (parser.isSet(portFileOption)) {
        QSaveFile file(parser.value(portFileOption));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(port) + '\n') < 0 || !file.commit()) {
            std::fprintf(stderr, "tovra-samplesite: cannot write the port file\n");
            return 1;
        }
    }
    std::printf("Sample site at http://127.0.0.1:%u\n", unsigned(port));
    std::fflush(stdout);
    return app.exec();
}
