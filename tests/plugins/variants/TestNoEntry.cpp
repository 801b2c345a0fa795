// Built without the ModuleEntry export; a host must refuse to load it.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoEntry"};
