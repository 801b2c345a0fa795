// Mono main buses that refuse stereo, like most installed effects.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestMono", .channels = 1};
