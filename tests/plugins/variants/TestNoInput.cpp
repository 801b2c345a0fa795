// A generator: no audio input bus, one stereo output bus of silence.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoInput", .inputBuses = 0};
