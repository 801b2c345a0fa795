// Crashes (SIGSEGV) in process on a NaN or infinite input sample, as DSP code that
// divides by what it measured may: a host in the same process goes with it.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestCrashesOnNonFinite",
                                                         .nonFiniteInputFault = testplugin::Fault::crash};
