// Delays its audio by 300 samples and reports that latency, with a tail of 0.05 s
// at 48 kHz: a look-ahead effect as far as a host can tell.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestLatencyTail", .latencySamples = 300, .tailSamples = 2400};
