#include "views/icons.h"

#include <QCache>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// The icon documents are compiled into this static library; a static library's resource
// initialiser is only linked in when something refers to it.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace tovra {

namespace {

const QString kPrefix = QStringLiteral(":/icons/");

// Documents are read from the resources as they are first drawn: the first window needs a few
// dozen of the hundred, and reading them all used to sit on the way to its first paint.
struct Library
{
    QHash<QString, QByteArray> documents;
    QCache<QString, QPixmap> rendered{4 * 1024 * 1024};

    Library() { initIconResources(); }

    // The document of the name, or a null array when there is none. Only found documents are
    // kept, so unknown names do not pile up.
    QByteArray document(const QString &name)
    {
        if (const auto found = documents.constFind(name); found != documents.cend())
            return *found;
        if (name.isEmpty() || name.contains(u'/'))
            return {};
        QFile file(kPrefix + name + QStringLiteral(".svg"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return *documents.insert(name, file.readAll());
    }
};

Library &library()
{
    static Library instance;
    return instance;
}

QImage render(const QString &name, const QColor &color, int size, qreal dpr)
{
    const int device = qMax(1, qRound(size * dpr));
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QColor opaque = color;
    opaque.setAlpha(255);
    QSvgRenderer renderer(Icons::svg(name, opaque));
    if (renderer.isValid()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(color.alphaF());
        renderer.render(&painter, QRectF(0, 0, device, device));
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

class TintedIconEngine : public QIconEngine
{
public:
    TintedIconEngine(QString name, QColor color) : m_name(std::move(name)), m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        Icons::paint(*painter, rect, m_name, colorFor(mode));
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        return Icons::pixmap(m_name, colorFor(mode), qMin(size.width(), size.height()), scale);
    }
    QIconEngine *clone() const override { return new TintedIconEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("tovra-tinted"); }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        if (mode != QIcon::Disabled)
            return m_color;
        QColor faded = m_color;
        faded.setAlphaF(m_color.alphaF() * 0.4);
        return faded;
    }

    QString m_name;
    QColor m_color;
};

}

bool Icons::contains(const QString &name)
{
    return !library().document(name).isNull();
}

QStringList Icons::names()
{
    library(); // registers the resources the listing reads
    QStringList all = QDir(kPrefix).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (QString &entry : all)
        entry.chop(4);
    return all;
}

const QStringList &Icons::navNames()
{
    static const QStringList names{
        QStringLiteral("camera"), QStringLiteral("clapperboard"), QStringLiteral("download"),
        QStringLiteral("film"),   QStringLiteral("house"),        QStringLiteral("magnet"),
        QStringLiteral("mic"),    QStringLiteral("play"),         QStringLiteral("star"),
        QStringLiteral("tags"),   QStringLiteral("trophy"),       QStringLiteral("tv"),
        QStringLiteral("users"),
    };
    return names;
}

QString Icons::resolveNav(const QString &name)
{
    return navNames().contains(name) ? name : QString::fromLatin1(kFallback);
}

QByteArray Icons::svg(const QString &name, const QColor &color)
{
    Library &lib = library();
    QByteArray document = lib.document(name);
    if (document.isNull())
        document = lib.document(QString::fromLatin1(kFallback));
    return document.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
}

QPixmap Icons::pixmap(const QString &name, const QColor &color, int size, qreal dpr)
{
    if (size <= 0)
        return {};
    if (dpr <= 0)
        dpr = 1.0;
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(name, color.name(QColor::HexArgb))
                            .arg(size)
                            .arg(dpr);
    Library &lib = library();
    if (const QPixmap *hit = lib.rendered.object(key))
        return *hit;
    QPixmap result = QPixmap::fromImage(render(name, color, size, dpr));
    const qsizetype cost = qsizetype(result.width()) * result.height() * 4;
    lib.rendered.insert(key, new QPixmap(result), cost);
    return result;
}

QIcon Icons::icon(const QString &name, const QColor &color)
{
    return QIcon(new TintedIconEngine(name, color));
}

void Icons::paint(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color)
{
    const qreal side = qMin(rect.width(), rect.height());
    if (side <= 0)
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int size = qCeil(side);
    const QPixmap pm = pixmap(name, color, size, dpr);
    const QRectF target(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.drawPixmap(target, pm, QRectF(pm.rect()));
}

}
