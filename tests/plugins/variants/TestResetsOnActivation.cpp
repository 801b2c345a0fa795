// A plug-in whose setActive(true) puts its processor's gain back to the default,
// as the SDK's tempo-synced delay sample does with its settings.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestResetsOnActivation",
                                                         .resetsOnActivation = true};
