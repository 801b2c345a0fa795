// GetPluginFactory never returns.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestFactoryHangs",
                                                         .factoryFault = testplugin::Fault::hang};
