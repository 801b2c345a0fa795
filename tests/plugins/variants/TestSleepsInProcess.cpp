// Sleeps 8 ms in every block with audio: more than a period of 256 frames at
// 48 kHz (5.3 ms), so a live host misses every deadline with it.
#include "core/PluginConfig.h"

const testplugin::PluginConfig testplugin::kPluginConfig{.name = "TestSleepsInProcess",
                                                         .processSleepMicroseconds = 8000};
