// A delay of 256 samples that turns into one of 64 once audio flows, and says so
// with a restart request: a latency that moves in the middle of a render.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestLatencyMovesWhileRendering", .latencySamples = 256, .latencyOnceAudioFlows = 64};
