// A delay whose latency follows a setting, as TestLatencyFollowsMode, but which
// asks for the restart as JUCE-built plug-ins do: from a thread of its own some
// 20 ms after the change, and again after every activation for the latency it has.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestLatencyRequestedLater",
                                                         .latencySamples = 256,
                                                         .latencyFollowsMode = true,
                                                         .latencyByMode = {256, 0, 1000},
                                                         .latencyRequestDelayMs = 20};
