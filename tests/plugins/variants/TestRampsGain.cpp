// Follows every point of its Gain queue sample by sample, as a plug-in that reads
// VST 3 queues fully does: its output is the host's automation curve itself.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRampsGain", .rampsGain = true};
