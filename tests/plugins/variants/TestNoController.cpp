// The component names a controller class the factory cannot create.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestNoController", .classes = testplugin::ClassLayout::missingController};
