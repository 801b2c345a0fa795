// A delay whose latency follows a setting, as a look-ahead or oversampling switch:
// 256 samples until a Mode value arrives, then 256, 0 or 1000 for its three steps,
// changed in the processor at once and reported with a restart request.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestLatencyFollowsMode",
                                                         .latencySamples = 256,
                                                         .latencyFollowsMode = true,
                                                         .latencyByMode = {256, 0, 1000}};
