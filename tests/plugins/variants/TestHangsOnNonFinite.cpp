// Never returns from process once a NaN or infinite input sample arrives, as DSP
// code caught in an endless loop does.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestHangsOnNonFinite",
                                                         .nonFiniteInputFault = testplugin::Fault::hang};
