// A plug-in with a processor-side program that applies a block's changes in queue
// order, as JUCE's wrapper does.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestOrderedChanges",
                                                         .parameters = testplugin::ParameterLayout::twoWay,
                                                         .appliesChangesInQueueOrder = true};
