// Parameters A (10), B (11) and a second A (12); the audio passes through.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestDuplicateTitles", .parameters = testplugin::ParameterLayout::duplicateTitles};
