// A stereo main input and a mono main output, neither negotiable.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestStereoToMono", .channels = 1, .inputChannels = 2};
