#pragma once

#include <QString>
#include <QStringList>
#include <expected>

class QWidget;

namespace tovra {

class MediaEngine;

// Finds and loads the engine plugin (the web engine and the media player) the first time a
// screen asks for it. The client itself links neither, so a start-up never pays for them.
class EngineLoader
{
public:
    static constexpr char kFileName[] = "libtovra_engine.so";
    // Names one plugin file to load instead of looking for it.
    static constexpr char kPathVariable[] = "TOVRA_ENGINE_PLUGIN";
    static constexpr QStringView kUnavailableText = u"网页和播放组件无法加载，请重新安装客户端后再试。";

    // The engine, loaded once and kept for the process's life; on failure, the Chinese sentence
    // the screen shows. A failed load is tried again on the next ask.
    static std::expected<MediaEngine *, QString> engine();
    // The files tried, in order: the one the variable names; otherwise beside the executable,
    // then, for an executable inside the build folder, where the build puts the plugin.
    static QStringList candidates();

    // Mapping the engine's libraries takes longer than a click should wait. A screen from which
    // the user is likely to play calls this once its content is up: after that content's next
    // paint the libraries are mapped on a worker thread, so the click finds them in memory.
    // Nothing happens until the composition root allows it, so tests and tools that never play
    // do not pay for an engine they will not use. With the engine mapped, a spare native player
    // process is started (again, once a spare has gone) for the same reason.
    static void preloadAfterPaint(QWidget *page);
    // A play is coming (a title page is up, or a play is being authorised): starts the native
    // player's process ahead, if the engine is mapped already (nothing here waits for a mapping).
    static void prepareNativePlayer();
    static void setPreloadAllowed(bool allowed);
};

}
