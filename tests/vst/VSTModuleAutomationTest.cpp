// Sample-accurate automation: envelopes on the transport's timeline and changes
// timed inside the next block reach the plug-in as VST 3 queue points on the
// exact frames, whatever the block sizes, fixed blocks or latency.
#include "HostedTestPlugin.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

using varnel::extensions::vst::VSTAutomationPoint;
using varnel::extensions::vst::VSTModule;
using vsttest::StereoBuffers;

namespace {

constexpr unsigned kGainId = 1;
constexpr unsigned kModeId = 2;  // stepped: three values
constexpr unsigned kMeterId = 3; // read-only

// Jumps between neighbouring frames at both sides of the 300- and 700-frame block
// boundaries, the first frame and the last of 2100.
const std::vector<VSTAutomationPoint> kEnvelope{{0, 0.0},   {299, 0.6},   {300, 0.1},  {699, 0.9},
                                                {700, 0.3}, {1111, 0.75}, {2099, 0.05}};
constexpr int kRenderFrames = 2100;

// The envelope's value at `frame`, ramping linearly between points.
double envelopeAt(const std::vector<VSTAutomationPoint>& points, std::int64_t frame) {
    if (frame <= points.front().frame)
        return points.front().value;
    for (std::size_t index = 1; index < points.size(); ++index) {
        const VSTAutomationPoint& from = points[index - 1];
        const VSTAutomationPoint& to = points[index];
        if (frame <= to.frame)
            return from.value + (to.value - from.value) * static_cast<double>(frame - from.frame) /
                                    static_cast<double>(to.frame - from.frame);
    }
    return points.back().value;
}

// A constant 1 through the module in blocks of one size, the left output kept;
// everything is allocated before `run`.
struct Render {
    Render(int frames, int blockFrames)
        : buffers(blockFrames, 1.0f), output(static_cast<std::size_t>(frames)) {}
    void run(VSTModule& module) {
        const auto block = buffers.outL.size();
        for (std::size_t done = 0; done < output.size(); done += block) {
            buffers.process(module, static_cast<int>(block));
            std::copy_n(buffers.outL.begin(), std::min(block, output.size() - done), output.begin() + done);
        }
    }
    StereoBuffers buffers;
    std::vector<float> output;
};

std::vector<float> render(VSTModule& module, int frames, int blockFrames) {
    Render rendering(frames, blockFrames);
    rendering.run(module);
    return rendering.output;
}

// The points of `id`'s queues in blocks with audio, by the frame they fell on
// in the stream the plug-in rendered.
std::multimap<std::int64_t, double> pointsOf(testplugin::TestPluginProbe& probe, std::uint32_t id) {
    std::multimap<std::int64_t, double> points;
    for (const testplugin::QueuePoint& point : probe.queuePoints()) {
        if (point.id == id && point.blockFrames > 0)
            points.emplace(point.frame(), point.value);
    }
    return points;
}

// Every point of `envelope` was read on its own frame with its own value.
void expectEnvelopePointsOnTheirFrames(testplugin::TestPluginProbe& probe,
                                       const std::vector<VSTAutomationPoint>& envelope) {
    const std::multimap<std::int64_t, double> points = pointsOf(probe, kGainId);
    for (const VSTAutomationPoint& expected : envelope) {
        const auto [first, last] = points.equal_range(expected.frame);
        EXPECT_TRUE(
            std::any_of(first, last, [&](const auto& point) { return point.second == expected.value; }))
            << "no point " << expected.value << " on frame " << expected.frame;
    }
}

struct BlockCase {
    int blockFrames;
    int maxSamplesPerBlock; // below blockFrames: the module cuts blocks into pieces
};

} // namespace

using VSTModuleAutomation = vsttest::HostedPluginTest;
using VSTModuleAutomationBlocks = vsttest::HostedPluginTestWithParam<BlockCase>;

TEST_P(VSTModuleAutomationBlocks, APluginThatReadsEveryPointFollowsTheEnvelopeOnEveryFrame) {
    ASSERT_TRUE(plugin.load("TestRampsGain"));
    ASSERT_TRUE(plugin.module->setMaxSamplesPerBlock(GetParam().maxSamplesPerBlock));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, kEnvelope));
    Render rendering(kRenderFrames, GetParam().blockFrames);
    {
        vsttest::AudioThreadCounters counters;
        rendering.run(*plugin.module);
        counters.expectNone();
    }
    const std::vector<float>& output = rendering.output;
    for (int frame = 0; frame < kRenderFrames; ++frame)
        ASSERT_NEAR(output[static_cast<std::size_t>(frame)], envelopeAt(kEnvelope, frame), 1e-6)
            << "frame " << frame;
    expectEnvelopePointsOnTheirFrames(plugin.probe(), kEnvelope);
    // Each piece starts and ends on the envelope.
    const int piece = std::min(GetParam().blockFrames, GetParam().maxSamplesPerBlock);
    for (const testplugin::QueuePoint& point : plugin.probe().queuePoints()) {
        if (point.id != kGainId || point.blockFrames == 0)
            continue;
        EXPECT_LE(point.blockFrames, piece);
        if (point.offset == 0 || point.offset == point.blockFrames - 1)
            EXPECT_NEAR(point.value, envelopeAt(kEnvelope, point.frame()), 1e-12)
                << "frame " << point.frame();
    }
    EXPECT_EQ(plugin.module->getParameterValue(kGainId), 0.05f) << "the controller follows what was played";
    expectCleanFinish();
}

INSTANTIATE_TEST_SUITE_P(OddSizes, VSTModuleAutomationBlocks,
                         testing::Values(BlockCase{300, 1024}, BlockCase{700, 1024}, BlockCase{700, 256}),
                         [](const testing::TestParamInfo<BlockCase>& info) {
                             return std::to_string(info.param.blockFrames) + "In" +
                                    std::to_string(info.param.maxSamplesPerBlock);
                         });

TEST_F(VSTModuleAutomation, APluginThatReadsOnlyTheLastPointEndsEveryBlockOnTheEnvelope) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, kEnvelope));
    const std::vector<float> output = render(*plugin.module, kRenderFrames, 300);
    for (int last = 299; last < kRenderFrames; last += 300)
        EXPECT_NEAR(output[static_cast<std::size_t>(last)], envelopeAt(kEnvelope, last), 1e-6)
            << "frame " << last;
    expectCleanFinish();
}

TEST_F(VSTModuleAutomation, AnEnvelopeStaysOnTheInputsTimelineThroughLatencyAndFixedBlocks) {
    // A plug-in 300 frames late gets each point with the input frame of its time.
    ASSERT_TRUE(plugin.load("TestLatencyTail"));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, kEnvelope));
    render(*plugin.module, kRenderFrames, 700);
    expectEnvelopePointsOnTheirFrames(plugin.probe(), kEnvelope);
    expectUnloadsInOrder();

    // Fixed blocks of 256 gathered from blocks of 300: the output is one fixed
    // block late, and still the envelope.
    ASSERT_TRUE(plugin.load("TestRampsGain"));
    ASSERT_TRUE(plugin.module->setFixedBlockSize(256));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, kEnvelope));
    const std::vector<float> output = render(*plugin.module, kRenderFrames + 300, 300);
    for (int frame = 0; frame < kRenderFrames; ++frame)
        ASSERT_NEAR(output[static_cast<std::size_t>(frame + 256)], envelopeAt(kEnvelope, frame), 1e-6)
            << "frame " << frame;
    expectEnvelopePointsOnTheirFrames(plugin.probe(), kEnvelope);
    expectCleanFinish();
}

TEST_F(VSTModuleAutomation, TimedChangesLandOnTheirFrameOfTheCallersBlocks) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    // Fixed blocks of 256 keep 44 frames of the first block of 300 back: the next
    // block starts on frame 300 of the plug-in's stream all the same.
    ASSERT_TRUE(plugin.module->setFixedBlockSize(256));
    plugin.processBlock(300);
    plugin.probe().reset();
    ASSERT_TRUE(plugin.module->setParameterAt(kGainId, 0.5f, 0));
    ASSERT_TRUE(plugin.module->setParameterAt(kGainId, 0.25f, 299));
    ASSERT_TRUE(plugin.module->setParameterAt(kGainId, 0.75f, 450)); // past the block: in the next
    for (int block = 0; block < 4; ++block)
        plugin.processBlock(300);
    const std::multimap<std::int64_t, double> points = pointsOf(plugin.probe(), kGainId);
    const std::multimap<std::int64_t, double> expected{{300, 0.5}, {599, 0.25}, {750, 0.75}};
    EXPECT_EQ(points, expected);
    EXPECT_EQ(plugin.module->getParameterValue(kGainId), 0.75f) << "the controller follows what was played";
    expectCleanFinish();
}

TEST_F(VSTModuleAutomation, WhileAnEnvelopePlaysItAloneDecidesAndAReplacementTakesOverAtABlock) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, {{0, 0.3}}));
    plugin.module->setParameter(kGainId, 0.9f);
    ASSERT_TRUE(plugin.module->setParameterAt(kGainId, 0.8f, 10));
    plugin.processBlock(100);
    for (const auto& [frame, value] : pointsOf(plugin.probe(), kGainId))
        EXPECT_EQ(value, 0.3) << "frame " << frame;
    EXPECT_EQ(plugin.module->getParameterValue(kGainId), 0.3f);

    // Every block plays one envelope whole: the old one up to the replacement.
    plugin.probe().reset();
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, {{0, 0.6}}));
    for (int block = 0; block < 3; ++block)
        plugin.processBlock(100);
    for (const testplugin::QueuePoint& point : plugin.probe().queuePoints())
        EXPECT_EQ(point.value, 0.6) << "frame " << point.frame();

    // Without envelopes, set values reach the plug-in again.
    plugin.module->clearParameterEnvelopes();
    plugin.module->setParameter(kGainId, 0.9f);
    plugin.processBlock(100);
    EXPECT_EQ(plugin.probe().lastProcesses(1)[0].gain, 0.9f);
    expectCleanFinish();
}

TEST_F(VSTModuleAutomation, AStoppedTransportHoldsTheEnvelopeALocateJumpsItAndASteppedParameterSteps) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, {{0, 0.0}, {10000, 1.0}}));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kModeId, {{0, 0.0}, {150, 1.0}}));
    plugin.processBlock(300);
    plugin.module->setTransportPlaying(false);
    plugin.processBlock(300);
    plugin.module->setTransportPosition(5000);
    plugin.module->setTransportPlaying(true);
    plugin.processBlock(300);

    std::vector<std::tuple<std::int64_t, std::int32_t, double>> gain;
    std::vector<std::pair<std::int32_t, double>> modeOfFirstBlock;
    for (const testplugin::QueuePoint& point : plugin.probe().queuePoints()) {
        if (point.id == kGainId && point.blockFrames > 0)
            gain.emplace_back(point.blockStart, point.offset, point.value);
        if (point.id == kModeId && point.blockStart == 0 && point.blockFrames > 0)
            modeOfFirstBlock.emplace_back(point.offset, point.value);
    }
    const std::vector<std::tuple<std::int64_t, std::int32_t, double>> expectedGain{
        {0, 0, 0.0},
        {0, 299, 0.0299}, // playing from 0
        {300, 0, 0.03},   // stopped at 300: one point
        {600, 0, 0.5},
        {600, 299, 0.5299}}; // located to 5000
    ASSERT_EQ(gain.size(), expectedGain.size());
    for (std::size_t index = 0; index < gain.size(); ++index) {
        EXPECT_EQ(std::get<0>(gain[index]), std::get<0>(expectedGain[index]));
        EXPECT_EQ(std::get<1>(gain[index]), std::get<1>(expectedGain[index]));
        EXPECT_NEAR(std::get<2>(gain[index]), std::get<2>(expectedGain[index]), 1e-12);
    }
    // A step: the old value on the frame before, the new one on its frame.
    const std::vector<std::pair<std::int32_t, double>> expectedMode{
        {0, 0.0}, {149, 0.0}, {150, 1.0}, {299, 1.0}};
    EXPECT_EQ(modeOfFirstBlock, expectedMode);
    expectCleanFinish();
}

TEST_F(VSTModuleAutomation, WhatCannotBePlayedIsRefusedWithOneLineAndChangesNothing) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, {{0, 0.4}}));
    log.clear();
    struct Refusal {
        bool refused;
        const char* line;
    };
    const std::vector<Refusal> refusals{
        {!plugin.module->setParameterEnvelope(kMeterId, {{0, 0.5}}), "Read-only parameter not set: 3"},
        {!plugin.module->setParameterEnvelope(77, {{0, 0.5}}), "Parameter not found: 77"},
        {!plugin.module->setParameterEnvelope(kGainId, {{0, 0.5}, {100, 0.2}, {100, 0.3}}),
         "Envelope points out of order: frame 100 after frame 100"},
        {!plugin.module->setParameterEnvelope(kGainId, {{0, 0.5}, {100, 1.5}}),
         "Envelope value out of range (0 to 1) at frame 100: 1.5"},
        {!plugin.module->setParameterAt(kGainId, 0.5f, -1), "Invalid frame offset: -1"},
        {!plugin.module->setParameterAt(kGainId, NAN, 0), "Parameter value out of range (0 to 1): nan"},
        {!plugin.module->setParameterAt(kMeterId, 0.5f, 0), "Read-only parameter not set: 3"},
    };
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), refusals.size());
    for (std::size_t index = 0; index < refusals.size(); ++index) {
        EXPECT_TRUE(refusals[index].refused) << refusals[index].line;
        EXPECT_EQ(lines[index], std::string("[VSTModule] ") + refusals[index].line);
    }
    plugin.processBlock(100);
    EXPECT_EQ(plugin.probe().lastProcesses(1)[0].gain, 0.4) << "the envelope in force stays";
    expectUnloadsInOrder();
}

TEST_F(VSTModuleAutomation, ADenserEnvelopeKeepsTheBoundOfPointsPerBlockAndStillEndsEachBlockOnIt) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    std::vector<VSTAutomationPoint> everyFrame;
    for (int frame = 0; frame < 600; ++frame)
        everyFrame.push_back({frame, (frame % 7) / 7.0});
    ASSERT_TRUE(plugin.module->setParameterEnvelope(kGainId, everyFrame));
    plugin.processBlock(300);
    plugin.processBlock(300);
    std::map<std::int64_t, std::vector<testplugin::QueuePoint>> blocks;
    for (const testplugin::QueuePoint& point : plugin.probe().queuePoints()) {
        if (point.id == kGainId && point.blockFrames > 0)
            blocks[point.blockStart].push_back(point);
    }
    ASSERT_EQ(blocks.size(), 2u);
    for (const auto& [start, points] : blocks) {
        EXPECT_EQ(points.size(), static_cast<std::size_t>(VSTModule::kMaxPointsPerBlock));
        for (const testplugin::QueuePoint& point : points)
            EXPECT_EQ(point.value, everyFrame[static_cast<std::size_t>(point.frame())].value);
        EXPECT_EQ(points.back().offset, 299);
    }
    expectCleanFinish();
}
