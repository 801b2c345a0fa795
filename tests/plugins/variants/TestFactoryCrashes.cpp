// GetPluginFactory crashes (SIGSEGV): a host that scans it in its own process dies.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestFactoryCrashes",
                                                         .factoryFault = testplugin::Fault::crash};
