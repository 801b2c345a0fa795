// A delay whose latency follows a setting but, as VST 3 describes and the SDK's
// host checker does, holds and is told only from the next activation on.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestLatencyAfterActivation",
                                                         .latencyFollowsMode = true,
                                                         .latencyByMode = {0, 256, 512},
                                                         .tellsLatencyAfterActivation = true};
