// A factory that declares nothing, reached only through plain IPluginFactory.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoClass",
                                                         .factory = testplugin::FactoryKind::plain,
                                                         .classes = testplugin::ClassLayout::none};
