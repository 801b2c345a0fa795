// A plug-in that changes its own parameters, as JUCE and SDK plug-ins do: its
// processor changes program and latency and reports them back, its controller
// loads programs and asks for restarts from a thread of its own, and it has an
// SDK-style truncating list ("Program") beside a JUCE-style rounding choice
// ("Choice").
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestTwoWay",
                                                         .parameters = testplugin::ParameterLayout::twoWay};
