// setProcessing answers kResultFalse for both states.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestRefuseProcessing",
                                                         .refusesSetProcessing = true};
