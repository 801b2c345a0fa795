// setupProcessing refuses 44100 Hz and accepts other rates.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRefuseRate",
                                                         .refusedSampleRate = 44100.0};
