// An editor that leaves its run-loop timer and event handler registered when it is
// removed: the host must take them away itself when the editor closes.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestEditorLeavesRunLoopWork", .hasEditor = true, .editorLeavesRunLoopWork = true};
