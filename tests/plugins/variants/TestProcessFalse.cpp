// process does its work, then answers kResultFalse.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestProcessFalse",
                                                         .processReturnsFalse = true};
