// A component that does not answer IAudioProcessor.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestNoProcessor",
                                                         .answersAudioProcessor = false};
