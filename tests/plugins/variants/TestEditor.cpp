// A plug-in with an editor view that records what the host does with it and
// works from the host's run loop (core/TestView.h).
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestEditor", .hasEditor = true};
