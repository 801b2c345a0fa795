// Processes only whole blocks of its set-up's size, and delays by 100 samples so
// that a block it left as it was shows.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestWholeBlocks", .latencySamples = 100, .processesOnlyFullBlocks = true};
