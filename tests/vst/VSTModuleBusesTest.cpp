// Channel layouts and bus records: every test plug-in shape gets the buses it
// declares, and both output channels carry its result, under the strict checker.
#include "HostedTestPlugin.h"

using varnel::extensions::vst::VSTChannelLayout;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {

constexpr unsigned kGainId = 1;

// Different content left and right, so a swapped, dropped or doubled channel shows.
StereoBuffers distinctChannels(int frames) {
    StereoBuffers buffers(frames);
    std::fill(buffers.inL.begin(), buffers.inL.end(), 0.8f);
    std::fill(buffers.inR.begin(), buffers.inR.end(), -0.4f);
    return buffers;
}

} // namespace

using VSTModuleBuses = vsttest::HostedPluginTest;

TEST_F(VSTModuleBuses, MonoOnlyPluginRunsAsTwoInstancesThatShareEverySetupSwitchAndValue) {
    ASSERT_TRUE(plugin.load("TestMono"));
    EXPECT_EQ(plugin.module->getChannelLayout(), VSTChannelLayout::dualMono);
    EXPECT_EQ(plugin.count("setBusArrangements", "inputs=[stereo] outputs=[stereo]"), 2)
        << "each instance is asked for stereo and keeps mono";
    ASSERT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_EQ(plugin.count("setupProcessing", "mode=0 sampleSize=0 maxSamples=1024 rate=44100"), 2);

    plugin.module->setParameter(kGainId, 0.5f);
    StereoBuffers buffers = distinctChannels(64);
    buffers.process(*plugin.module, 64);
    const auto blocks = plugin.probe().lastProcesses(2);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_NE(blocks[0].object, blocks[1].object);
    for (const auto& block : blocks) {
        EXPECT_EQ(block.inputChannels, 1);
        EXPECT_EQ(block.outputChannels, 1);
        EXPECT_EQ(block.gain, 0.5) << "the value reached instance " << block.object;
    }
    EXPECT_FLOAT_EQ(buffers.outL[63], 0.4f);
    EXPECT_FLOAT_EQ(buffers.outR[63], -0.2f);

    const int switchesOff = plugin.count("setProcessing", "false");
    ASSERT_TRUE(plugin.module->setProcessing(false));
    EXPECT_EQ(plugin.count("setProcessing", "false"), switchesOff + 2);
    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.probe().processCount(), 2) << "no block after the switch-off";
    ASSERT_TRUE(plugin.module->setProcessing(true));

    plugin.probe().reset();
    plugin.unload();
    EXPECT_EQ(plugin.probe().count("terminate"), 3) << "both instances and the controller";
    EXPECT_EQ(plugin.probe().liveObjects(), 0);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
    EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
}

struct LayoutCase {
    const char* plugin;
    VSTChannelLayout layout;
    float left; // output for input 0.8 left, -0.4 right, at gain 0.5
    float right;
};

void PrintTo(const LayoutCase& value, std::ostream* out) {
    *out << value.plugin;
}

using VSTModuleLayouts = vsttest::HostedPluginTestWithParam<LayoutCase>;

TEST_P(VSTModuleLayouts, BothChannelsCarryTheResultAndEveryBusHasItsRecord) {
    const LayoutCase& shape = GetParam();
    ASSERT_TRUE(plugin.load(shape.plugin));
    EXPECT_EQ(plugin.module->getChannelLayout(), shape.layout);
    plugin.module->setParameter(kGainId, 0.5f);
    StereoBuffers buffers = distinctChannels(2048);
    buffers.process(*plugin.module, 2048); // two pieces of the announced 1024
    EXPECT_FLOAT_EQ(buffers.outL[2047], shape.left);
    EXPECT_FLOAT_EQ(buffers.outR[2047], shape.right);
    const auto block = plugin.probe().lastProcesses(1);
    ASSERT_EQ(block.size(), 1u);
    const auto buses = plugin.module->getBuses();
    EXPECT_EQ(block[0].numInputs + block[0].numOutputs, static_cast<int>(buses.size()));
    expectUnloadsInOrder();
    expectNothingLogged();
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, VSTModuleLayouts,
    testing::Values(LayoutCase{"TestSeparate", VSTChannelLayout::stereo, 0.4f, -0.2f},
                    LayoutCase{"TestMonoToStereo", VSTChannelLayout::monoInStereoOut, 0.1f, 0.1f},
                    LayoutCase{"TestStereoToMono", VSTChannelLayout::stereoInMonoOut, 0.4f, 0.4f},
                    // The auxiliary output's own signal (0.25) stays out of the main one.
                    LayoutCase{"TestAuxBuses", VSTChannelLayout::stereo, 0.4f, -0.2f},
                    LayoutCase{"TestNoInput", VSTChannelLayout::noInputStereoOut, 0.0f, 0.0f}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.plugin); });

TEST_F(VSTModuleBuses, AuxiliaryBusesAreListedAndHandedSilenceOrDropped) {
    ASSERT_TRUE(plugin.load("TestAuxBuses"));
    const auto buses = plugin.module->getBuses();
    ASSERT_EQ(buses.size(), 4u);
    EXPECT_TRUE(buses[1].isInput && buses[1].isAuxiliary && !buses[1].defaultActive);
    EXPECT_EQ(buses[1].channelCount, 1);
    EXPECT_TRUE(!buses[3].isInput && buses[3].isAuxiliary);
    EXPECT_EQ(buses[3].channelCount, 2);
    EXPECT_EQ(plugin.count("activateBus", "audio input index=1 state=true"), 0)
        << "the side-chain stays as the plug-in has it";
    StereoBuffers buffers = distinctChannels(64);
    for (int block = 0; block < 3; ++block)
        buffers.process(*plugin.module, 64);
    const auto blocks = plugin.probe().lastProcesses(1);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].numInputs, 2);
    EXPECT_EQ(blocks[0].numOutputs, 2);
    EXPECT_EQ(plugin.module->getChannelLayout(), VSTChannelLayout::stereo);
    // The checker flags a side-chain handed without silence, or with sound.
    expectUnloadsInOrder();
}
