// A factory that declares only a controller class.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoAudioModule",
                                                         .classes = testplugin::ClassLayout::controllerOnly};
