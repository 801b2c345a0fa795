// Mono main buses, and setupProcessing refuses 44100 Hz: a refused set-up of a
// dual-mono pair.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestMonoRefuseRate", .channels = 1, .refusedSampleRate = 44100.0};
