// A plug-in that sets its own Gain from its audio callback, edits an id it never
// listed and asks for a restart there, as JUCE plug-ins may.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestEditsFromProcess",
                                                         .editsFromProcess = true};
