// A processor that sends its controller a message from inside process, and a
// controller that, holding the host to VST 3's threading rule, refuses (and
// records) a notify on any thread but the plug-in's UI thread.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestMessageFromProcess", .strictThreads = true, .sendsMessageFromProcess = true};
