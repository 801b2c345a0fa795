// Stereo main buses plus an inactive mono side-chain input and an inactive stereo
// auxiliary output, like a compressor with a side-chain. Once activated, the
// side-chain is added to the output, so a test hears what reached it.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestAuxBuses", .sideChain = true, .addsSideChain = true, .auxOutput = true};
