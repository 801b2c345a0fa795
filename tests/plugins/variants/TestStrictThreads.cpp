// A plug-in that holds the host to VST 3's threading rule, as the SDK's host
// checker does: every call but process and setProcessing on the thread of the
// first call.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestStrictThreads", .strictThreads = true};
