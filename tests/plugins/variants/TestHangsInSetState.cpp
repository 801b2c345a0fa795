// Never returns from the component's setState, as a plug-in waiting for a lock its
// own audio thread never gives back does.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestHangsInSetState",
                                                         .setStateFault = testplugin::Fault::hang};
