// setActive(true) answers kResultFalse and the component stays inactive.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRefuseActivation",
                                                         .refusesActivation = true};
