// Linked only into programs that carry the engine themselves rather than load the plugin.
#include <QtPlugin>

Q_IMPORT_PLUGIN(EnginePlugin)
