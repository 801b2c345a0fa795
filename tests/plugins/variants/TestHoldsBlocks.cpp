// process waits inside the plug-in while the probe holds blocks, so a test can keep
// a block in flight as long as it needs.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestHoldsBlocks", .holdsBlocks = true};
