// Prints to standard output through printf and std::cout when its module is
// entered, as debug builds of plug-ins do; a host's own standard output must
// stay clean of it.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestPrintsToStdout",
                                                         .printsToStandardOutput = true};
