// A plug-in whose state holds more than its parameters: an output offset in the
// component's state and a view scale in the controller's; its setState is slow.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestStateful",
                                                         .keepsStateOutsideParameters = true};
