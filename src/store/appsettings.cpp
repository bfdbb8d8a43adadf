#include "store/appsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace tovra {

namespace {
const QString kTorrentDirectoryKey = QStringLiteral("torrentDirectory");
const QString kAskEverySaveKey = QStringLiteral("askEverySave");

// Only a real boolean or the text QSettings writes for one counts; "1", "yes" and the like are
// not booleans and fall back to the default like any other foreign value.
std::optional<bool> readBoolean(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}
}

AppSettings::AppSettings(QSettings *settings)
    : m_settings(settings)
{
}

AppSettings &AppSettings::shared()
{
    static AppSettings instance;
    return instance;
}

template<typename F>
auto AppSettings::withSettings(F &&use) const
{
    if (m_settings)
        return use(*m_settings);
    QSettings settings;
    return use(settings);
}

std::optional<QString> AppSettings::torrentDirectory() const
{
    const QVariant value = withSettings([](QSettings &s) { return s.value(kTorrentDirectoryKey); });
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString path = value.toString();
    // A relative path would resolve against whatever the working directory happens to be, so
    // files would land somewhere the user never chose; treat it as no choice.
    if (path.isEmpty() || QDir::isRelativePath(path))
        return std::nullopt;
    return path;
}

void AppSettings::setTorrentDirectory(const std::optional<QString> &path)
{
    withSettings([&](QSettings &s) {
        if (path)
            s.setValue(kTorrentDirectoryKey, *path);
        else
            s.remove(kTorrentDirectoryKey);
    });
}

bool AppSettings::askEverySave() const
{
    if (!torrentDirectory())
        return true;
    const QVariant value = withSettings([](QSettings &s) { return s.value(kAskEverySaveKey); });
    return readBoolean(value).value_or(false);
}

void AppSettings::setAskEverySave(bool ask)
{
    withSettings([&](QSettings &s) { s.setValue(kAskEverySaveKey, ask); });
}

QString AppSettings::defaultTorrentDirectory() const
{
    if (const auto chosen = torrentDirectory())
        return *chosen;
    return downloadsOrHome();
}

QString AppSettings::downloadsOrHome()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && !QDir::isRelativePath(downloads) && QFileInfo(downloads).isDir())
        return downloads;
    return QDir::homePath();
}

}
