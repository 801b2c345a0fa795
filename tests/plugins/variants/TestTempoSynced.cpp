// A careful, tempo-synced effect: it asks the host which interfaces it supports,
// and reads tempo, time signature and position from every block.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestTempoSynced", .needsProcessContext = true, .asksInterfaceSupport = true};
