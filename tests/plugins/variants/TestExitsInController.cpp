// Calls exit(0) from its controller's getParamStringByValue, as plug-ins that give
// up on an error do: the whole process ends, with a status that says all is well.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestExitsInController",
                                                         .valueTextFault = testplugin::Fault::exit};
