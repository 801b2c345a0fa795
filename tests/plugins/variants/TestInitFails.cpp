// The component's initialize answers kResultFalse.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestInitFails", .initializeFails = true};
