// Killed outright (SIGKILL) on a NaN input sample, as a plug-in that eats all
// memory is by the kernel: the host's signal handlers never run, so whatever it
// left on disk is for its parent process to remove.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestKilledOnNonFinite",
                                                         .nonFiniteInputFault = testplugin::Fault::kill};
