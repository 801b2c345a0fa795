// A mono main input and a stereo main output, neither negotiable.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestMonoToStereo", .inputChannels = 1};
