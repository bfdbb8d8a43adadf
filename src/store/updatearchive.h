#pragma once

#include <QString>
#include <expected>

namespace tovra {

// Unpacks a downloaded update archive (a zip) into a fresh folder and finds the one client
// folder in it. The archive's digest has been checked, but the archive still comes from the
// network: every entry is checked before anything is written, and nothing is ever written
// outside the target folder.
class UpdateArchive
{
public:
    enum class Failure {
        Unpack, // unreadable, hostile or over the limits: "解压失败"
        NoApp,  // unpacked, but not exactly one client folder at the top: "安装包内没有找到 .app"
    };

    struct Limits
    {
        qint64 entries = 20000;
        qint64 bytes = qint64(2) << 30;   // unpacked, all entries together
        qint64 archive = qint64(1) << 30; // the download itself
    };

    // Extracts into `folder` (created; must not exist yet) and answers the one top-level folder
    // that holds the client's marker and its executable. On any failure the folder is removed.
    static std::expected<QString, Failure> extract(const QString &archive, const QString &folder, Limits limits);
    static std::expected<QString, Failure> extract(const QString &archive, const QString &folder)
    {
        return extract(archive, folder, Limits{});
    }

    static QString failureText(Failure failure);
};

}
