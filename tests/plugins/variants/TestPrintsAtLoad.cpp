// GetPluginFactory prints a line to standard output, as chatty plug-ins do.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestPrintsAtLoad", .printsAtLoad = true};
