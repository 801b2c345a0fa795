// What the plug-in says about its timing (latency, tail) and what it asks of the
// host through the component handler: restarts and edits of its own.
#include "HostedTestPlugin.h"

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessingMode;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {
constexpr std::int32_t kIoChanged = 1 << 1;      // VST 3's RestartFlags::kIoChanged
constexpr std::int32_t kLatencyChanged = 1 << 3; // and kLatencyChanged
} // namespace

using VSTModuleTiming = vsttest::HostedPluginTest;

TEST_F(VSTModuleTiming, LatencyAndTailAreThePluginsOwn) {
    HostedTestPlugin delayed("TestLatencyTail");
    HostedTestPlugin endless("TestEndlessTail");
    HostedTestPlugin plain("TestSeparate");
    VSTModule empty;
    ASSERT_TRUE(delayed.load() && endless.load() && plain.load());
    EXPECT_EQ(delayed.module->getLatencySamples(), 300u);
    EXPECT_EQ(delayed.module->getTailSamples(), 2400u);
    EXPECT_EQ(endless.module->getTailSamples(), VSTModule::kInfiniteTail);
    EXPECT_EQ(plain.module->getLatencySamples(), 0u);
    EXPECT_EQ(plain.module->getTailSamples(), VSTModule::kNoTail);
    EXPECT_EQ(empty.getLatencySamples(), 0u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(VSTModuleTiming, LatencyChangeIsActedOnBetweenBlocksByReactivatingOnlyWhenItChanged) {
    ASSERT_TRUE(plugin.load("TestLatencyTail"));
    // Offline, a restart waits for a control call: no block of a render is lost.
    ASSERT_TRUE(plugin.module->setProcessMode(VSTProcessingMode::Offline));
    plugin.probe().reset();
    // The request may come from any thread, also inside a block: it only waits.
    ASSERT_TRUE(plugin.probe().changeLatency(512));
    StereoBuffers buffers = plugin.processBlock(256);
    EXPECT_TRUE(plugin.sequence({"setActive", "getLatencySamples"}).empty());

    // The next control call deactivates and reactivates, then reads the new latency.
    EXPECT_EQ(plugin.module->getLatencySamples(), 512u);
    EXPECT_EQ(plugin.sequence({"setActive", "setProcessing", "getLatencySamples"}),
              (std::vector<std::string>{"getLatencySamples()", "setProcessing(false)", "setActive(false)",
                                        "setActive(true)", "getLatencySamples()", "setProcessing(true)"}));
    // Acted on once; asked again with the latency in force, nothing is reactivated
    // (JUCE plug-ins ask so): no gap in the audio.
    plugin.probe().reset();
    plugin.module->handleRestartRequests();
    ASSERT_TRUE(plugin.probe().requestRestart(kLatencyChanged));
    plugin.module->handleRestartRequests();
    EXPECT_TRUE(plugin.sequence({"setActive", "setProcessing"}).empty());

    // A changed bus layout sets the plug-in up again in the set-up in force.
    ASSERT_TRUE(plugin.probe().requestRestart(kIoChanged));
    plugin.module->handleRestartRequests();
    EXPECT_EQ(plugin.sequence({"setupProcessing"}),
              (std::vector<std::string>{"setupProcessing(mode=2 sampleSize=0 maxSamples=1024 rate=48000)"}));
    buffers.process(*plugin.module, 256);
    EXPECT_TRUE(log.lines().empty());
    // Also: the controller had a component handler all along.
    expectUnloadsInOrder();
}

TEST_F(VSTModuleTiming, PluginsOwnEditsReachTheAudioLikeHostValues) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.probe().performEdit(1, 0.25));
    // Its own meter is the plug-in's output; it never comes back as an input.
    EXPECT_FALSE(plugin.probe().performEdit(3, 0.5));
    plugin.processBlock(64);
    const testplugin::ProcessRecord block = plugin.probe().lastProcesses(1).at(0);
    EXPECT_EQ(block.gain, 0.25);
    ASSERT_EQ(block.parameterCount, 1);
    EXPECT_EQ(block.queues[0].id, 1u);
    plugin.unload();
    // Unloading took the handler back.
    EXPECT_FALSE(plugin.probe().performEdit(1, 0.5));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}
