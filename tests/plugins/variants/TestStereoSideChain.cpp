// A stereo side-chain input, which it adds to its output: channel for channel.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestStereoSideChain", .sideChain = true, .sideChainChannels = 2, .addsSideChain = true};
