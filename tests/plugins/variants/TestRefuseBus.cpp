// activateBus answers kResultFalse for every bus.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRefuseBus",
                                                         .refusesBusActivation = true};
