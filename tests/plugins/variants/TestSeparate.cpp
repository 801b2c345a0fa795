// The well-behaved plug-in: separate controller, stereo, IPluginFactory3. Also the trivial gain plug-in of
// the benchmarks.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestSeparate"};
