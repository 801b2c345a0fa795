// Mono main buses and state beyond the parameters: a restored state must reach
// both instances of a dual-mono pair, the offset no parameter carries included.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestMonoStateful", .channels = 1, .keepsStateOutsideParameters = true};
