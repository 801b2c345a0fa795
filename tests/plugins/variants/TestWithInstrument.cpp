// An effect and an instrument in one bundle, as the SDK's mda bundle holds
// synths beside its effects; the instrument is declared last.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{
    .name = "TestWithInstrument", .classes = testplugin::ClassLayout::effectAndInstrument};
