// Aborts (SIGABRT) in setActive(true), as a failed assertion in a plug-in's
// preparation does.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestAbortsOnActivation",
                                                         .activationFault = testplugin::Fault::abort};
