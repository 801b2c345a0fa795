// A plug-in whose setActive(true) puts its processor's gain back to the default,
// as some plug-ins do with all their settings.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestResetsOnActivation",
                                                         .resetsOnActivation = true};
