// Two audio module classes (A, B), each with its controller, behind IPluginFactory2.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestTwoClasses",
                                                         .factory = testplugin::FactoryKind::two,
                                                         .classes = testplugin::ClassLayout::twoModules};
