// setupProcessing refuses 48000 Hz, the rate a host guesses before it knows the
// graph's, and accepts other rates.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRefuseDefaultRate",
                                                         .refusedSampleRate = 48000.0};
