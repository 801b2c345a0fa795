// getParameterInfo fails for index 1; the indices after it still answer.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestInfoFails",
                                                         .failingParameterInfoIndex = 1};
