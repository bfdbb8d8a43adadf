// A second yardstick for the start-up benchmark: the bare window of barewindow/main.cpp that also
// draws the home page's text. It reads the home page and the sidebar from the response cache
// under $XDG_CACHE_HOME (the warm profile's) and draws the strings of the first screen once each
// in the client's CJK face, at the home page's sizes and weights. It builds no widgets of ours, so what it costs
// beyond the bare window is what drawing that much Chinese text costs any Qt program: fontconfig,
// font engines, shaping and glyph rasterisation. It reports its first paint as the client does.

#include "../paintmark.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QPainter>

#include <cstdio>

namespace {

// About what the home page's first screen at 1560 x 960 shows: the sidebar's names, the hot
// list's titles and heat figures, and two rows of seven cards with title, score and year.
QStringList cachedTexts()
{
    const QString folder = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/TovraClient/");
    const auto read = [&](const char *name) {
        QFile file(folder + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
    };
    QStringList texts;
    for (const QJsonValue &entry : read("nav.json").array())
        texts << entry.toObject().value(QStringLiteral("name")).toString();
    const QJsonObject home = read("api_index.json").object().value(QStringLiteral("data")).toObject();
    for (const QJsonValue &entry : home.value(QStringLiteral("hot")).toArray()) {
        texts << entry.toObject().value(QStringLiteral("title")).toString()
              << QStringLiteral("%1℃").arg(entry.toObject().value(QStringLiteral("count")).toInteger());
    }
    int cards = 0;
    for (const char *section : {"follow", "new"}) {
        for (const QJsonValue &entry : home.value(QLatin1String(section)).toArray()) {
            const QJsonObject item = entry.toObject();
            texts << item.value(QStringLiteral("title")).toString()
                  << QString::number(item.value(QStringLiteral("score")).toDouble(), 'f', 1)
                  << item.value(QStringLiteral("showdate")).toString().left(4);
            if (++cards % 7 == 0)
                break;
        }
    }
    texts.removeAll(QString());
    return texts;
}

class TextPage : public QWidget
{
public:
    explicit TextPage(QStringList texts) : m_texts(std::move(texts)) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        // The home page's text styles: body titles, callout, the heat figures, section headers.
        struct Style
        {
            int pixels;
            QFont::Weight weight;
        };
        static constexpr Style kStyles[] = {{13, QFont::Normal}, {12, QFont::DemiBold}, {11, QFont::Normal},
                                            {15, QFont::DemiBold}};
        QPainter painter(this);
        int i = 0;
        for (const QString &text : m_texts) {
            QFont font;
            font.setFamilies({QStringLiteral("Noto Sans CJK SC")});
            font.setPixelSize(kStyles[i % 4].pixels);
            font.setWeight(kStyles[i % 4].weight);
            painter.setFont(font);
            painter.drawText(QRect(8 + (i % 8) * 190, 8 + (i / 8) * 22 % height(), 180, 20), Qt::AlignLeft, text);
            ++i;
        }
    }

private:
    QStringList m_texts;
};

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList texts = cachedTexts();
    if (texts.isEmpty()) {
        std::fprintf(stderr, "bench_textwindow: no cached home page under $XDG_CACHE_HOME/TovraClient\n");
        return 1;
    }
    QMainWindow window;
    window.resize(1560, 960);
    auto *page = new TextPage(texts);
    window.setCentralWidget(page);
    PaintMark mark;
    page->installEventFilter(&mark);
    window.show();
    return app.exec();
}
