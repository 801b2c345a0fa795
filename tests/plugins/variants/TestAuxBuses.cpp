// Stereo main buses plus an inactive mono side-chain input and an inactive stereo
// auxiliary output, like a compressor with a side-chain.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestAuxBuses", .sideChain = true, .auxOutput = true};
