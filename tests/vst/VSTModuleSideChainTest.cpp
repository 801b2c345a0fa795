// The side-chain: the plug-in's auxiliary input, activated on request, fed the
// caller's signal mapped onto its channels, and silent without one.
#include "HostedTestPlugin.h"

using varnel::extensions::vst::VSTModule;
using vsttest::StereoBuffers;

namespace {

// One block of silence with `sideL` (and `sideR` unless null) as the side-chain;
// the output, which the side-chain test plug-ins add the side-chain to.
std::pair<float, float> keyedBlock(VSTModule& module, const float* sideL, const float* sideR) {
    StereoBuffers buffers(64, 0.0f);
    module.process(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(), buffers.outR.data(), sideL,
                   sideR, 64);
    return {buffers.outL[63], buffers.outR[63]};
}

const std::vector<float> kLeft(64, 0.8f);
const std::vector<float> kRight(64, -0.4f);
const std::vector<float> kMono(64, 0.3f);

} // namespace

using VSTModuleSideChain = vsttest::HostedPluginTest;

TEST_F(VSTModuleSideChain, ReachesTheBusOnlyOnceActivatedMappedToItsChannelsAndSilentWithoutASignal) {
    ASSERT_TRUE(plugin.load("TestAuxBuses")); // a mono side-chain
    VSTModule& module = *plugin.module;
    EXPECT_FALSE(module.isSideChainActive());
    EXPECT_EQ(keyedBlock(module, kLeft.data(), kRight.data()), std::make_pair(0.0f, 0.0f))
        << "an inactive side-chain reads silence";

    ASSERT_TRUE(module.setSideChainActive(true));
    EXPECT_TRUE(module.isSideChainActive());
    EXPECT_EQ(plugin.count("activateBus", "audio input index=1 state=true"), 1);
    {
        StereoBuffers buffers(64, 0.0f);
        vsttest::AudioThreadCounters counters;
        module.process(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(), buffers.outR.data(),
                       kLeft.data(), kRight.data(), 64);
        counters.expectNone();
        EXPECT_FLOAT_EQ(buffers.outL[0], 0.2f) << "a stereo signal into a mono bus: the mean";
        EXPECT_FLOAT_EQ(buffers.outR[63], 0.2f);
    }
    EXPECT_EQ(keyedBlock(module, kMono.data(), nullptr), std::make_pair(0.3f, 0.3f));
    EXPECT_EQ(keyedBlock(module, nullptr, nullptr), std::make_pair(0.0f, 0.0f))
        << "no signal is silence, never the last one";

    ASSERT_TRUE(module.setSideChainActive(false));
    EXPECT_EQ(keyedBlock(module, kMono.data(), nullptr), std::make_pair(0.0f, 0.0f));
    expectUnloadsInOrder();

    ASSERT_TRUE(plugin.load("TestStereoSideChain"));
    ASSERT_TRUE(plugin.module->setSideChainActive(true));
    EXPECT_EQ(keyedBlock(*plugin.module, kLeft.data(), kRight.data()), std::make_pair(0.8f, -0.4f));
    EXPECT_EQ(keyedBlock(*plugin.module, kMono.data(), nullptr), std::make_pair(0.3f, 0.3f))
        << "a mono signal into a stereo bus: on both channels";
    expectCleanFinish();
}

TEST_F(VSTModuleSideChain, FixedBlocksKeepItInStepWithTheInput) {
    ASSERT_TRUE(plugin.load("TestAuxBuses"));
    ASSERT_TRUE(plugin.module->setFixedBlockSize(256));
    ASSERT_TRUE(plugin.module->setSideChainActive(true));
    // A side-chain that counts frames, in blocks of 300 against fixed blocks of 256.
    std::vector<float> output;
    StereoBuffers buffers(300, 0.0f);
    std::vector<float> key(300);
    for (int block = 0; block < 4; ++block) {
        for (int frame = 0; frame < 300; ++frame)
            key[static_cast<std::size_t>(frame)] = static_cast<float>(block * 300 + frame) / 1024.0f;
        plugin.module->process(buffers.inL.data(), buffers.inR.data(), buffers.outL.data(),
                               buffers.outR.data(), key.data(), nullptr, 300);
        output.insert(output.end(), buffers.outL.begin(), buffers.outL.end());
    }
    for (int frame = 0; frame + 256 < 1200; ++frame)
        ASSERT_EQ(output[static_cast<std::size_t>(frame + 256)], static_cast<float>(frame) / 1024.0f)
            << "frame " << frame;
    expectCleanFinish();
}

TEST_F(VSTModuleSideChain, APluginWithoutOneRefusesWithOneLine) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    EXPECT_FALSE(plugin.module->setSideChainActive(true));
    EXPECT_FALSE(plugin.module->isSideChainActive());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] The plug-in has no side-chain input."});
    expectUnloadsInOrder();
}
