#pragma once

#include "support/fakesite.h"

#include <QString>
#include <QStringList>

namespace tovra::test {

// The clip made at build time (cmake/testmedia.sh) and the HTML5 page's library as installed
// by scripts/setup.sh.
QString mediaDir();  // holds hls/master.m3u8 and dash/manifest.mpd
QString shakaDir();  // holds shaka-player.ui.js and controls.css

// Routes every file under folder to prefix + its relative path ("/clip/hls/v0/seg1.ts"), with
// the content type a media server would send. Answers the routed paths, so a test can re-route
// some of them (segments that fail, for instance).
QStringList serveFolder(FakeSite &site, const QString &prefix, const QString &folder);

// The library at the two addresses the HTML5 page asks for under a media address whose path
// is prefix ("/media/" gives "/media/shakaPlayer/shaka-player.ui.js").
void serveShaka(FakeSite &site, const QString &prefix);

}
