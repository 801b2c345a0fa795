// Reports an infinite tail and hums (kHum * Gain) for ever, like a feedback delay
// that never quite dies away; at Gain 0 it falls silent.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestEndlessTail",
                                                         .tailSamples = 0xFFFFFFFFu};
