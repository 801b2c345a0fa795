// Reports no tail but adds noise at -80 dBFS for ever, as dither or a tape hiss
// model does: its output never falls silent.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoiseFloor", .noiseFloor = 1.0e-4f};
