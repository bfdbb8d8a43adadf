#pragma once

#include <QString>
#include <optional>

namespace tovra {

// Where the client keeps its own files. Both answer nothing when the platform cannot name a
// folder: callers then keep their state in memory rather than write beside the working directory.
//   appDataDir(): ~/.local/share/TovraClient (token, device id, last report day)
//   cacheDir():   ~/.cache/TovraClient (response cache, HTTP disk cache)
std::optional<QString> appDataDir();
std::optional<QString> cacheDir();

// The folder of the process-wide HTTP disk cache: a sibling of the response cache, never inside it,
// because clearing the response cache empties its whole folder.
std::optional<QString> httpCacheDir();

// The self-updater's private folder (downloads, the install script and its log): a sibling too,
// so that clearing the response cache never takes a download or a running install with it.
std::optional<QString> updateDir();

// Creates path (and its missing parents) and leaves it mode 0700, whatever the umask: these
// folders hold the token and what a signed-in user fetched. A link or a file in the way is left
// alone and answers false.
bool makePrivateFolder(const QString &path);

inline constexpr char kAppName[] = "TovraClient";

}
