// Keeps an envelope of what it heard through setActive(false) and setActive(true),
// as filters, feedback paths and delays of many plug-ins do: only a fresh
// instance starts from silence. It also crashes on a NaN input sample.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestKeepsSignal",
                                                         .keepsSignalAcrossActivation = true,
                                                         .nonFiniteInputFault = testplugin::Fault::crash};
