// Starts a helper program from its module entry and leaves it running, as
// plug-ins with licence daemons or crash reporters do.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestStartsHelper",
                                                         .startsHelperAtEntry = true};
