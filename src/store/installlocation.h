#pragma once

#include <QString>
#include <expected>

namespace tovra {

// Where the client is installed, and what it takes to install it properly.
//
// The installed client is one folder ("TovraClient") holding the executable, its resources and a
// marker file whose content is the application id. Only a folder with that marker is ours to
// replace or move: a build tree or a distribution's package has none, and is left to its owner.
class InstallLocation
{
public:
    static constexpr char kUnitName[] = "TovraClient";
    static constexpr char kExecutableName[] = "tovra-client";
    // The native player's process, shipped beside the executable.
    static constexpr char kPlayerName[] = "tovra-player";
    static constexpr char kMarkerName[] = ".tovra-app";
    static constexpr char kApplicationId[] = "tovra-client";
    static constexpr char kSkipMovePromptKey[] = "install.skipMovePrompt";

    // The folder holds the marker with our id and a regular file named like the executable.
    static bool isUnit(const QString &folder);
    // The folder of the running executable when it is a unit; empty otherwise.
    static QString runningUnit();

    // The desktop's "applications folder": ~/.local/opt (made by move() when missing).
    static QString applicationsFolder();
    // Under /opt/ or the applications folder.
    static bool isInstalled(const QString &unit);
    // Run from where an archive manager unpacked it: the temporary folder or a read-only file
    // system. Such a copy is gone or frozen tomorrow, so it is neither moved nor updated.
    static bool isTranslocated(const QString &unit);
    // The install script may replace the unit: it is ours and its parent folder takes new
    // entries. A folder marked read-only counts as such even for root.
    static bool isSelfUpdatable(const QString &unit);
    // Why unit cannot be replaced by the install script, told to the user; empty when it can.
    static QString manualInstallReason(const QString &unit);
    static bool isWritableFolder(const QString &folder);

    // Copies the unit into the applications folder (an existing copy there becomes a dated
    // backup, removed once the new copy is whole, put back when it is not), makes the executable
    // runnable and writes the menu entry. Answers the new unit, or the reason in Chinese.
    static std::expected<QString, QString> move(const QString &unit, qint64 nowSeconds);

    // The download lost the execute bit; nothing else is touched. Failures do not matter.
    static void clearQuarantine(const QString &unit);

    // The menu entry: $XDG_DATA_HOME/applications/tovra-client.desktop, written atomically.
    static QString desktopFilePath();
    static QString desktopEntry(const QString &executable);
    static bool writeDesktopEntry(const QString &executable);
    // One argument of an Exec line, quoted and escaped by the Desktop Entry rules.
    static QString desktopExecArgument(const QString &argument);
};

}
