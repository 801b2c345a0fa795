// One class that is component and edit controller at once.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestSingle",
                                                         .classes = testplugin::ClassLayout::combined};
