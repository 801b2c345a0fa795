// Processing set-up and block processing of VSTModule on the test plug-ins.
#include "HostedTestPlugin.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <limits>

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessingMode;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

using VSTModuleSetup = vsttest::HostedPluginTest;

TEST_F(VSTModuleSetup, SameRateTwiceSetsUpOnceDeactivatingAround) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    plugin.probe().reset();
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    // Configuration only while inactive, and processing restored afterwards.
    EXPECT_EQ(plugin.sequence({"setupProcessing", "setActive", "setProcessing"}),
              (std::vector<std::string>{"setProcessing(false)", "setActive(false)",
                                        "setupProcessing(mode=0 sampleSize=0 maxSamples=1024 rate=44100)",
                                        "setActive(true)", "setProcessing(true)"}));
    plugin.processBlock(64);
    EXPECT_EQ(plugin.probe().processCount(), 1);
    expectCleanFinish();
}

TEST_F(VSTModuleSetup, InvalidValuesAreRefusedBeforeThePluginSeesThem) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    plugin.probe().reset();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(plugin.module->setSampleRate(0));
    EXPECT_FALSE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, 0, 44100.0));
    EXPECT_FALSE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, -64, 44100.0));
    EXPECT_FALSE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, 512, -44100.0));
    EXPECT_FALSE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, 512, nan));
    EXPECT_FALSE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, 512, inf));
    EXPECT_FALSE(plugin.module->setupProcessing(static_cast<VSTProcessingMode>(7), 512, 44100.0));
    EXPECT_FALSE(plugin.module->setMaxSamplesPerBlock(0));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "[VSTModule] Invalid sample rate: 0",
                               "[VSTModule] Invalid maximum block size: 0",
                               "[VSTModule] Invalid maximum block size: -64",
                               "[VSTModule] Invalid sample rate: -44100",
                               "[VSTModule] Invalid sample rate: nan",
                               "[VSTModule] Invalid sample rate: inf",
                               "[VSTModule] Invalid process mode: 7",
                               "[VSTModule] Invalid maximum block size: 0",
                           }));
    EXPECT_EQ(plugin.probe().calls().size(), 0u) << "the plug-in was not disturbed";
    plugin.processBlock(1024);
    EXPECT_EQ(plugin.probe().lastProcesses(1).at(0).numSamples, 1024) << "the set-up in force stays";
}

TEST_F(VSTModuleSetup, SetupRefusedAtLoadLeavesThePluginUnreadyUntilARateIsAccepted) {
    ASSERT_TRUE(plugin.load("TestRefuseDefaultRate"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] setupProcessing failed"});
    EXPECT_FALSE(plugin.module->isReadyToProcess());
    StereoBuffers buffers = plugin.processBlock(64);
    EXPECT_EQ(plugin.probe().processCount(), 0);
    EXPECT_EQ(plugin.module->getAudioThreadFailureCount(), 1u)
        << "a block that reached no plug-in is counted";
    ASSERT_TRUE(plugin.module->setProcessing(false));
    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.module->getAudioThreadFailureCount(), 1u) << "not while the caller has processing off";
    EXPECT_FALSE(plugin.module->setProcessing(true)) << "it starts once a set-up is accepted";
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_TRUE(plugin.module->isReadyToProcess());
    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.probe().processCount(), 1);
    expectUnloadsInOrder();
}

TEST_F(VSTModuleSetup, RefusedActivationIsReportedAndNothingIsProcessed) {
    ASSERT_TRUE(plugin.load("TestRefuseActivation"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] setActive to true failed"});
    EXPECT_FALSE(plugin.module->isReadyToProcess());
    StereoBuffers buffers = plugin.processBlock(64);
    EXPECT_EQ(plugin.probe().processCount(), 0);
    EXPECT_EQ(buffers.outL, std::vector<float>(64, 0.0f));
    expectUnloadsInOrder();
}

// A dual-mono pair stops at its first instance's refusal; the set-up in force
// must then be brought back on both.
using VSTModuleRefusedRate = vsttest::HostedPluginTestWithParam<const char*>;

TEST_P(VSTModuleRefusedRate, IsNotKeptSoARetryAsksAgainAndEveryInstanceGoesOnProcessing) {
    ASSERT_TRUE(plugin.load(GetParam()));
    plugin.module->setParameter(1u, 0.5f);
    plugin.probe().reset();
    EXPECT_FALSE(plugin.module->setSampleRate(44100));
    EXPECT_FALSE(plugin.module->setSampleRate(44100));
    EXPECT_EQ(plugin.count("setupProcessing", "mode=0 sampleSize=0 maxSamples=1024 rate=44100"), 2);
    EXPECT_EQ(log.count("[VSTModule] setupProcessing failed"), 2u);
    // The previous set-up stays in force: blocks still run, on both channels.
    StereoBuffers buffers = plugin.processBlock(64);
    EXPECT_EQ(buffers.outL[63], 0.25f);
    EXPECT_EQ(buffers.outR[63], 0.25f);
    EXPECT_TRUE(plugin.module->setSampleRate(96000));
    expectUnloadsInOrder();
}

INSTANTIATE_TEST_SUITE_P(Plugins, VSTModuleRefusedRate,
                         testing::Values("TestRefuseRate", "TestMonoRefuseRate"));

TEST_F(VSTModuleSetup, LaterSetUpsKeepTheModeAndMaximumInForceAndBlocksCarryTheMode) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    EXPECT_TRUE(plugin.module->isReadyToProcess());
    plugin.probe().reset();
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_TRUE(plugin.module->setupProcessing(VSTProcessingMode::Offline, 4096, 96000.0));
    plugin.processBlock(4096);
    auto processed = plugin.probe().lastProcesses(1);
    ASSERT_EQ(processed.size(), 1u);
    EXPECT_EQ(processed[0].numSamples, 4096) << "the new maximum is honoured";
    EXPECT_EQ(processed[0].processMode, 2);
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_TRUE(plugin.module->setSampleRate(44100));
    EXPECT_TRUE(plugin.module->setMaxSamplesPerBlock(256));
    EXPECT_TRUE(plugin.module->setProcessMode(VSTProcessingMode::Prefetch));
    EXPECT_EQ(plugin.sequence({"setupProcessing"}),
              (std::vector<std::string>{"setupProcessing(mode=0 sampleSize=0 maxSamples=1024 rate=44100)",
                                        "setupProcessing(mode=2 sampleSize=0 maxSamples=4096 rate=96000)",
                                        "setupProcessing(mode=2 sampleSize=0 maxSamples=4096 rate=44100)",
                                        "setupProcessing(mode=2 sampleSize=0 maxSamples=256 rate=44100)",
                                        "setupProcessing(mode=1 sampleSize=0 maxSamples=256 rate=44100)"}));
    expectUnloadsInOrder();
}

TEST_F(VSTModuleSetup, WithoutAudioProcessorSetupCallsAreRefused) {
    VSTModule module;
    EXPECT_FALSE(module.setSampleRate(44100));
    EXPECT_FALSE(module.setupProcessing(VSTProcessingMode::Realtime, 512, 44100.0));
    EXPECT_EQ(log.count("[VSTModule] No audio processor available."), 2u);
}

using VSTModuleProcess = vsttest::HostedPluginTest;

TEST_F(VSTModuleProcess, LongBlocksReachThePluginInPiecesOfTheMaximum) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    plugin.module->setParameter(1u, 0.5f);
    StereoBuffers buffers(4096, 1.0f);
    for (int i = 0; i < 4096; ++i)
        buffers.inL[i] = buffers.inR[i] = static_cast<float>(i);
    buffers.process(*plugin.module, 4096);
    const auto processed = plugin.probe().lastProcesses(8);
    ASSERT_EQ(processed.size(), 4u);
    for (const auto& block : processed)
        EXPECT_EQ(block.numSamples, 1024);
    // Each piece was processed at its own place in the buffers.
    for (int i : {0, 1023, 1024, 2500, 4095})
        EXPECT_FLOAT_EQ(buffers.outL[i], 0.5f * static_cast<float>(i)) << i;
    expectUnloadsInOrder();
}

TEST_F(VSTModuleProcess, EmptyBlockIsPassedOn) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    StereoBuffers buffers(1);
    buffers.process(*plugin.module, 0);
    const auto processed = plugin.probe().lastProcesses(1);
    ASSERT_EQ(processed.size(), 1u);
    EXPECT_EQ(processed[0].numSamples, 0);
    EXPECT_TRUE(processed[0].hasOutputParameterChanges);
    EXPECT_EQ(processed[0].numInputs, 1);
    EXPECT_EQ(processed[0].inputChannels, 2);
}

TEST_F(VSTModuleProcess, ProcessErrorsAreCountedWithoutAllocatingOrLockingAndLoggedByTheNextControlCall) {
    ASSERT_TRUE(plugin.load("TestProcessFalse"));
    StereoBuffers buffers(32);
    {
        vsttest::AudioThreadCounters counters;
        for (int block = 0; block < 10000; ++block)
            buffers.process(*plugin.module, 32);
        counters.expectNone();
    }
    EXPECT_EQ(plugin.probe().processCount(), 10000) << "every failing block is still processed";
    EXPECT_TRUE(log.lines().empty()) << "the audio thread logs nothing";

    plugin.module->setParameter(1u, 0.5f);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] process error: 1",
                                                     "[VSTModule] process error: 1 repeated 9999 times"}));
    // The run goes on: only its count is added; nothing new, nothing logged.
    log.clear();
    buffers.process(*plugin.module, 32);
    plugin.module->reportAudioThreadFailures();
    plugin.module->reportAudioThreadFailures();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] process error: 1 repeated 1 time"});
}

TEST_F(VSTModuleProcess, ParameterValueReachesTheNextBlockOnceAndStays) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    StereoBuffers buffers(64, 1.0f);
    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.probe().lastProcesses(1)[0].parameterCount, 0) << "empty until a parameter is set";

    plugin.module->setParameter(1u, 0.25f);
    for (int block = 0; block < 10; ++block)
        buffers.process(*plugin.module, 64);
    const auto processed = plugin.probe().lastProcesses(10);
    ASSERT_EQ(processed.size(), 10u);
    ASSERT_EQ(processed[0].parameterCount, 1);
    EXPECT_EQ(processed[0].queues[0].id, 1u);
    EXPECT_EQ(processed[0].queues[0].pointCount, 1);
    EXPECT_EQ(processed[0].queues[0].firstOffset, 0);
    EXPECT_EQ(processed[0].queues[0].firstValue, 0.25);
    // Repeating it would override whatever the plug-in does to its own parameter.
    for (std::size_t block = 1; block < processed.size(); ++block)
        EXPECT_EQ(processed[block].parameterCount, 0) << "block " << block;
    EXPECT_FLOAT_EQ(buffers.outL[0], 0.25f) << "the gain stayed in the DSP";
    expectUnloadsInOrder();
}

TEST_F(VSTModuleProcess, BlockThatIsNoMultipleOfTheMaximumReachesEveryFrameWithFreshOutputChanges) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setupProcessing(VSTProcessingMode::Realtime, 100, 48000.0));
    plugin.module->setParameter(1u, 0.5f);
    StereoBuffers buffers(250);
    for (int i = 0; i < 250; ++i) {
        buffers.inL[i] = static_cast<float>(i + 1);
        buffers.inR[i] = -static_cast<float>(i + 1);
    }
    buffers.process(*plugin.module, 250);
    buffers.process(*plugin.module, 250);
    const auto processed = plugin.probe().lastProcesses(16);
    ASSERT_EQ(processed.size(), 6u);
    for (std::size_t i = 0; i < processed.size(); ++i) {
        EXPECT_EQ(processed[i].numSamples, i % 3 == 2 ? 50 : 100) << i;
        // The plug-in reports its meter every block; a piece must not see the last one's.
        EXPECT_EQ(processed[i].outputParameterCount, 0) << i;
    }
    int wrongFrames = 0;
    for (int i = 0; i < 250; ++i) {
        wrongFrames += buffers.outL[i] != 0.5f * static_cast<float>(i + 1);
        wrongFrames += buffers.outR[i] != -0.5f * static_cast<float>(i + 1);
    }
    EXPECT_EQ(wrongFrames, 0);
    expectUnloadsInOrder();
}

TEST_F(VSTModuleProcess, EveryBlockCarriesTempoTimeSignatureAndAPositionThatMovesOnWhilePlaying) {
    using Steinberg::Vst::ProcessContext;
    constexpr std::uint32_t kAlwaysValid = ProcessContext::kSystemTimeValid | ProcessContext::kContTimeValid |
                                           ProcessContext::kProjectTimeMusicValid |
                                           ProcessContext::kBarPositionValid | ProcessContext::kTempoValid |
                                           ProcessContext::kTimeSigValid;
    ASSERT_TRUE(plugin.load("TestTempoSynced"));
    StereoBuffers buffers(2048);
    buffers.process(*plugin.module, 256);
    const auto first = plugin.probe().lastProcesses(1).at(0);
    EXPECT_EQ(first.tempo, 120.0) << "the tempo plug-ins assume without a host's";
    EXPECT_EQ(first.timeSigNumerator * 100 + first.timeSigDenominator, 404);
    EXPECT_EQ(first.projectTimeSamples, 0);
    EXPECT_EQ(first.contextState, kAlwaysValid | ProcessContext::kPlaying);

    EXPECT_TRUE(plugin.module->setTempo(140.0));
    EXPECT_TRUE(plugin.module->setTimeSignature(3, 4));
    buffers.process(*plugin.module, 256);
    // Longer than the maximum of 1024: the pieces have positions of their own.
    buffers.process(*plugin.module, 2000);
    plugin.module->setTransportPlaying(false);
    buffers.process(*plugin.module, 256);
    buffers.process(*plugin.module, 256);
    plugin.module->setTransportPosition(48000);
    plugin.module->setTransportPlaying(true);
    buffers.process(*plugin.module, 256);

    const auto blocks = plugin.probe().lastProcesses(6);
    ASSERT_EQ(blocks.size(), 6u);
    const std::int64_t positions[] = {256, 512, 1536, 2512, 2512, 48000};
    const bool playing[] = {true, true, true, false, false, true};
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        EXPECT_EQ(blocks[i].tempo, 140.0);
        EXPECT_EQ(blocks[i].timeSigNumerator, 3);
        EXPECT_EQ(blocks[i].projectTimeSamples, positions[i]);
        EXPECT_EQ(blocks[i].contextState,
                  kAlwaysValid | (playing[i] ? std::uint32_t{ProcessContext::kPlaying} : 0u));
    }
    // 140 BPM for 1536 samples from 256 at 120: quarters add up at each block's tempo.
    const double quarters = 256.0 / 48000 * 2.0 + 1280.0 / 48000 * 140.0 / 60.0;
    EXPECT_NEAR(blocks[2].projectTimeMusic, quarters, 1e-9);
    EXPECT_NEAR(blocks[5].projectTimeMusic, 140.0 / 60.0, 1e-9) << "one second in after the relocation";
    EXPECT_EQ(blocks[5].barPositionMusic, 0.0) << "2.33 quarters lie in the first bar of 3/4";
    EXPECT_NO_ORDER_VIOLATIONS(plugin);

    log.clear();
    EXPECT_FALSE(plugin.module->setTempo(0.0));
    EXPECT_FALSE(plugin.module->setTimeSignature(3, 0));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] Invalid tempo: 0",
                                                     "[VSTModule] Invalid time signature: 3/0"}));
    buffers.process(*plugin.module, 256);
    EXPECT_EQ(plugin.probe().lastProcesses(1).at(0).tempo, 140.0);
}

TEST_F(VSTModuleProcess, FixedBlocksGiveThePluginOnlyItsOwnSizeOneBlockLater) {
    // Asked for before the load, as a graph does; the plug-in refuses other sizes
    // and delays by 100.
    plugin.host("TestWholeBlocks");
    ASSERT_TRUE(plugin.module->setFixedBlockSize(256));
    ASSERT_TRUE(plugin.load());
    EXPECT_EQ(plugin.module->getFixedBlockSize(), 256);
    EXPECT_EQ(plugin.module->getLatencySamples(), 100u + 256u);
    constexpr int kFrames = 2000;
    StereoBuffers buffers(kFrames);
    for (int n = 0; n < kFrames; ++n)
        buffers.inL[static_cast<std::size_t>(n)] = buffers.inR[static_cast<std::size_t>(n)] = 1.0f + n;
    for (int done = 0, turn = 0; done < kFrames; ++turn) {
        const int frames = std::min(turn % 2 == 0 ? 300 : 70, kFrames - done);
        plugin.module->process(&buffers.inL[done], &buffers.inR[done], &buffers.outL[done],
                               &buffers.outR[done], frames);
        done += frames;
    }
    for (int n = 0; n < kFrames; ++n)
        ASSERT_EQ(buffers.outR[static_cast<std::size_t>(n)], n < 356 ? 0.0f : 1.0f + (n - 356)) << n;
    EXPECT_EQ(buffers.outL, buffers.outR);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);

    EXPECT_FALSE(plugin.module->setFixedBlockSize(-1));
    EXPECT_TRUE(plugin.module->setFixedBlockSize(0));
    EXPECT_EQ(plugin.module->getLatencySamples(), 100u);
    EXPECT_EQ(plugin.sequence({"setupProcessing"}).back(),
              "setupProcessing(mode=0 sampleSize=0 maxSamples=1024 rate=48000)")
        << "the caller's maximum is back";
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] Invalid fixed block size: -1"});
}
