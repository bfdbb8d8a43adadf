#pragma once

#include <QString>
#include <optional>

class QSettings;

namespace tovra {

// Where .torrent files go and whether the user is asked each time. Nothing is cached: every
// read goes to the settings store, so a value written by one caller is what the next read sees.
class AppSettings
{
public:
    // With no settings object the application's default QSettings is used on each access.
    // A given object is not owned and must outlive this one (tests).
    explicit AppSettings(QSettings *settings = nullptr);

    static AppSettings &shared();

    // The chosen folder, as an absolute local path; nothing when none is chosen.
    std::optional<QString> torrentDirectory() const;
    // Nothing removes the choice.
    void setTorrentDirectory(const std::optional<QString> &path);

    // Always true while no folder is chosen: there is nowhere to save without asking.
    bool askEverySave() const;
    void setAskEverySave(bool ask);

    // Where a save dialog starts: the chosen folder, else downloadsOrHome().
    QString defaultTorrentDirectory() const;
    // The user's download folder when it exists, else home: a dialog given a folder that is not
    // there opens in the working directory instead.
    static QString downloadsOrHome();

private:
    template<typename F>
    auto withSettings(F &&use) const;

    QSettings *m_settings = nullptr;
};

}
