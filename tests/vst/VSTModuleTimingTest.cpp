// What the plug-in says about its timing (latency, tail) and what it asks of the
// host through the component handler: restarts and edits of its own.
#include "HostedTestPlugin.h"

#include <atomic>
#include <chrono>
#include <thread>

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTPluginEvent;
using varnel::extensions::vst::VSTProcessingMode;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {
constexpr std::int32_t kIoChanged = 1 << 1;      // VST 3's RestartFlags::kIoChanged
constexpr std::int32_t kLatencyChanged = 1 << 3; // and kLatencyChanged
constexpr std::int32_t kParamTitlesChanged = 1 << 4;
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

TEST_F(VSTModuleTiming, OfflineALatencyChangeTheTimerSawWaitsForTheNextControlCall) {
    ASSERT_TRUE(plugin.load("TestLatencyTail"));
    ASSERT_TRUE(plugin.module->setProcessMode(VSTProcessingMode::Offline));
    std::atomic<bool> heardEdit{false};
    plugin.module->setEventListener([&](const VSTPluginEvent& event) {
        if (event.kind == VSTPluginEvent::Kind::parameterChanged)
            heardEdit.store(true);
    });
    plugin.probe().reset();
    ASSERT_TRUE(plugin.probe().changeLatency(512));
    // Only the plug-in thread's timer tells of an edit made after the request: once
    // it is heard, the timer has seen the request too.
    ASSERT_TRUE(plugin.probe().performEdit(1, 0.5));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!heardEdit.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(heardEdit.load());
    EXPECT_EQ(plugin.probe().count("setActive"), 0) << "a render loses no block to it";
    EXPECT_EQ(plugin.module->getLatencySamples(), 512u);
    EXPECT_EQ(plugin.sequence({"setActive"}),
              (std::vector<std::string>{"setActive(false)", "setActive(true)"}));
    expectNothingLogged();
}

TEST_F(VSTModuleTiming, RenamedParametersAnswerToTheirNewTitlesAfterTheRestart) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setValueNamesForPluginParameter("Mode", {"low", "mid", "high"}));
    std::atomic<std::int32_t> restartedFlags{0};
    plugin.module->setEventListener([&](const VSTPluginEvent& event) {
        if (event.kind == VSTPluginEvent::Kind::restarted)
            restartedFlags.fetch_or(event.restartFlags);
    });
    ASSERT_TRUE(plugin.probe().renameParameter(1, "Level"));
    plugin.module->handleRestartRequests();
    EXPECT_EQ(restartedFlags.load(), kParamTitlesChanged);
    EXPECT_TRUE(plugin.module->setParameter("Level", 0.25f));
    EXPECT_FALSE(plugin.module->setParameter("Gain", 0.5f));
    // Names given to a title that still names the same parameter stay, and so does
    // what is read-only.
    EXPECT_TRUE(plugin.module->setParameterByValueName("Mode", "high"));
    EXPECT_FALSE(plugin.module->setParameter("Meter", 0.5f));
    plugin.processBlock(64);
    EXPECT_EQ(plugin.probe().lastProcesses(1).at(0).gain, 0.25);
    EXPECT_EQ(plugin.module->getParameterValue(2), 1.0f);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] Parameter not found: Gain",
                                                     "[VSTModule] Read-only parameter not set: Meter"}));
}

TEST_F(VSTModuleTiming, ARequestWithTheSameAnswerReactivatesOnlyWhenAValueCameSinceTheLastActivation) {
    // Like the SDK's host checker: a Mode value asks for a new latency, told only
    // after the host has reactivated the plug-in.
    ASSERT_TRUE(plugin.load("TestLatencyAfterActivation"));
    plugin.module->setParameter(2u, 1.0f);
    plugin.processBlock(64);
    EXPECT_EQ(plugin.module->getLatencySamples(), 512u);
    EXPECT_EQ(plugin.count("setActive", "true"), 2);
    // Asked again with nothing new since that activation, as JUCE plug-ins ask after
    // every activation: no reactivation, no gap in the audio.
    ASSERT_TRUE(plugin.probe().announceUnchangedLatency());
    plugin.module->handleRestartRequests();
    EXPECT_EQ(plugin.count("setActive", "true"), 2);
    expectNothingLogged();
}

TEST_F(VSTModuleTiming, ABlockWithoutFramesCarriesSettingsPastFixedBlocksSoTheLatencyIsKnownBeforeAudio) {
    // Mode's last step makes this plug-in's processor switch to 1000 samples.
    ASSERT_TRUE(plugin.load("TestLatencyFollowsMode"));
    ASSERT_TRUE(plugin.module->setFixedBlockSize(128));
    plugin.module->setParameter(2u, 1.0f);
    plugin.processBlock(0);
    EXPECT_EQ(plugin.module->getLatencySamples(), 1000u + 128u);
    expectNothingLogged();
}
