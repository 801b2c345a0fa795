// The factory's countClasses aborts, as a failed assertion does.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestClassCountAborts",
                                                         .classCountFault = testplugin::Fault::abort};
