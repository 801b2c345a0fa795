// varnel-vst play and edit --input with a real JACK server (its dummy driver:
// real periods and deadlines, no sound card): what they play, recorded by
// another client, is what process renders offline; slow plug-ins cost counted
// xruns, not a hang; Ctrl+C ends with the state saved.
#include "JackServer.h"
#include "ToolHarness.h"
#include "VirtualDisplay.h"

#include "VSTModule.h"
#include "testplugin/TestPluginHandle.h"
#include "testsupport/InstalledPlugins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

using namespace tooltest;
using testplugin::TestPluginHandle;
using varnel::extensions::vst::VSTModule;

namespace {

#define START_JACK(server, period)                                                                           \
    if (!JackServer::installed())                                                                            \
        GTEST_SKIP() << "jackd is not installed (scripts/setup.sh installs jackd2)";                         \
    JackServer server(period);                                                                               \
    ASSERT_TRUE(server.started()) << server.failure()

// ZamCompX2 at a threshold that makes the test signal's peaks work it.
const std::vector<std::string> kCompressorSettings{"--set", "Threshold=0.7", "--set", "Ratio=0.6"};
constexpr unsigned kThreshold = 7;

std::vector<std::string> concatenated(std::vector<std::string> first,
                                      const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The first frame with a sample that is not silence.
std::size_t firstSound(const Sound& sound) {
    const auto found = std::find_if(sound.samples.begin(), sound.samples.end(),
                                    [](float sample) { return std::abs(sample) > 1e-6f; });
    return static_cast<std::size_t>(found - sound.samples.begin()) / static_cast<std::size_t>(sound.channels);
}

// The file through ZamCompX2 offline, in the blocks a server of `period` frames plays.
Sound renderedOffline(const ScratchFolder& folder, const std::string& input, unsigned period) {
    const ToolRun run = runTool(concatenated({"process", "ZamCompX2", input, folder.file("offline.wav"),
                                              "--block", std::to_string(period), "--tail", "off"},
                                             kCompressorSettings));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return readSound(folder.file("offline.wav"));
}

// Whether `recorded` holds `expected`, sample for sample, after the silence
// before it: the live path lost, added and changed nothing.
testing::AssertionResult recordingHolds(const Sound& recorded, const Sound& expected) {
    if (recorded.channels != 2)
        return testing::AssertionFailure() << recorded.channels << " channels recorded";
    const std::size_t start = firstSound(recorded);
    const std::size_t expectedStart = firstSound(expected);
    if (start < expectedStart)
        return testing::AssertionFailure() << "nothing was recorded";
    const std::size_t offset = start - expectedStart;
    if (recorded.frames() < offset + expected.frames())
        return testing::AssertionFailure() << "the recording ends early";
    float largest = 0.0f;
    std::size_t where = 0;
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        const float difference = std::abs(recorded.samples[2 * offset + i] - expected.samples[i]);
        if (difference > largest) {
            largest = difference;
            where = i / 2;
        }
    }
    // jack_rec writes 32-bit integers: a rounding of 2^-31, no more.
    if (largest >= 1e-6f)
        return testing::AssertionFailure() << "a difference of " << largest << " at frame " << where
                                           << " after an offset of " << offset << " frames";
    return testing::AssertionSuccess();
}

// A live recording is exact only when the machine woke every client of the server
// in time: on a busy machine the server may drop a period (an xrun) that no fault
// of the tool caused. So a recording that does not hold is made again, up to three
// times in all; a fault of the tool's own (a lost start, a changed channel) fails
// every attempt.
template <typename Attempt>
void expectSomeRecordingHolds(Attempt&& attempt) {
    testing::AssertionResult result = testing::AssertionFailure();
    for (int tries = 0; tries < 3 && !result; ++tries)
        result = attempt();
    EXPECT_TRUE(result);
}

float thresholdIn(const std::string& preset) {
    VSTModule module;
    EXPECT_TRUE(module.loadPlugin(testsupport::installedBundle("ZamCompX2")));
    EXPECT_TRUE(module.loadPreset(preset)) << preset;
    return module.getParameterValue(kThreshold);
}

// The number on the summary line that starts with `label`; -1 without one.
long long summaryNumber(const std::string& out, const std::string& label) {
    const std::size_t at = out.find("\n" + label);
    if (at == std::string::npos)
        return -1;
    return std::atoll(out.c_str() + out.find_first_not_of(' ', at + 1 + label.size()));
}

} // namespace

TEST(PlayCommand, ZamCompX2PlayedIntoARecordingClientIsTheOfflineRenderAfterTheMeasuredOffset) {
    START_JACK(server, 256);
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 48000));
    const Sound expected = renderedOffline(folder, folder.file("in.wav"), 256);
    expectSomeRecordingHolds([&]() -> testing::AssertionResult {
        JackRecorder recorder(server, folder.file("recorded.wav"), 4);
        if (!recorder.started())
            return testing::AssertionFailure() << "the recorder did not start";
        const ToolRun played =
            runTool(concatenated({"play", "ZamCompX2", folder.file("in.wav"), "--device", "jackrec"},
                                 kCompressorSettings),
                    {}, server.environment());
        if (played.exitCode != 0)
            return testing::AssertionFailure() << played.err;
        if (!recorder.finish())
            return testing::AssertionFailure() << "the recorder did not finish";
        return recordingHolds(readSound(folder.file("recorded.wav")), expected);
    });
}

TEST(PlayCommand, TheLiveInputPlaysThroughZamCompX2AsTheOfflineRenderDoes) {
    START_JACK(server, 256);
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 48000));
    const Sound expected = renderedOffline(folder, folder.file("in.wav"), 256);
    expectSomeRecordingHolds([&]() -> testing::AssertionResult {
        JackRecorder recorder(server, folder.file("recorded.wav"), 4);
        if (!recorder.started())
            return testing::AssertionFailure() << "the recorder did not start";
        // The recorder records nothing of its own, so the input is the sound card's
        // (silent) and what a second, bypassed play plays into it: the file as it is,
        // from its first frame on.
        BackgroundTool tool(
            concatenated({"play", "ZamCompX2", "--live", "--device", "jackrec"}, kCompressorSettings), {},
            folder.file(""), server.environmentList());
        if (!server.waitForPort("varnel-vst:in_2"))
            return testing::AssertionFailure() << tool.err();
        const ToolRun source =
            runTool({"play", "ZamCompX2", folder.file("in.wav"), "--bypass", "--device", "varnel-vst"}, {},
                    server.environment());
        if (source.exitCode != 0)
            return testing::AssertionFailure() << source.err;
        if (!recorder.finish())
            return testing::AssertionFailure() << "the recorder did not finish";
        tool.signal(SIGINT);
        if (tool.waitForExit() != 0)
            return testing::AssertionFailure() << tool.err();
        return recordingHolds(readSound(folder.file("recorded.wav")), expected);
    });
}

TEST(PlayCommand, TenSecondsOfALoopAt256FramesKeepEveryDeadlineAndCtrlCEndsWithTheStateSaved) {
    START_JACK(server, 256);
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 24000));
    BackgroundTool tool(concatenated({"play", "ZamCompX2", folder.file("in.wav"), "--loop", "--save-preset",
                                      folder.file("played.vstpreset")},
                                     kCompressorSettings),
                        {}, folder.file(""), server.environmentList());
    std::this_thread::sleep_for(std::chrono::seconds(10));
    tool.signal(SIGINT);
    ASSERT_EQ(tool.waitForExit(), 0) << tool.err();

    // Every one of the 1875 callbacks took less than its period. (The server may
    // still blame the tool for a period that the machine woke it too late for,
    // which the count shows.)
    const std::size_t busiest = tool.out().find("% at most");
    ASSERT_NE(busiest, std::string::npos) << tool.out();
    EXPECT_LT(std::atoi(tool.out().c_str() + tool.out().rfind(' ', busiest) + 1), 100) << tool.out();
    EXPECT_GE(summaryNumber(tool.out(), "xruns"), server.xrunsBlamedOn("varnel-vst")) << server.log();
    // The dummy driver's two periods of buffer, and none of ZamCompX2's.
    EXPECT_NE(tool.out().find("latency   10.7 ms heard: 512 frames of the device, 0 of the plug-ins"),
              std::string::npos)
        << tool.out();
    EXPECT_NE(tool.out().find("Saved the state of ZamCompX2"), std::string::npos) << tool.out();
    EXPECT_FLOAT_EQ(thresholdIn(folder.file("played.vstpreset")), 0.7f);
}

TEST(PlayCommand, APluginThatSleepsPastItsDeadlineCostsCountedXrunsAndThePlayStillEnds) {
    START_JACK(server, 256);
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 12000));
    // TestSleepsInProcess takes 8 ms of every 5.3 ms period.
    const ToolRun played =
        runTool({"play", TestPluginHandle::bundlePath("TestSleepsInProcess"), folder.file("in.wav")}, {},
                server.environment() + " timeout 60");
    ASSERT_EQ(played.exitCode, 0) << played.err;
    const int blamed = server.xrunsBlamedOn("varnel-vst");
    EXPECT_GT(blamed, 0) << server.log();
    EXPECT_GE(summaryNumber(played.out, "xruns"), blamed) << played.out;
    // The load line says why: more than the whole period.
    EXPECT_GE(summaryNumber(played.out, "load"), 100) << played.out;
}

TEST(PlayCommand, ListDevicesShowsTheServersClientsWhileItRunsAndSaysWhenNoneRuns) {
    START_JACK(server, 256);
    const ToolRun up = runTool({"play", "--list-devices"}, {}, server.environment());
    ASSERT_EQ(up.exitCode, 0) << up.err;
    EXPECT_NE(up.out.find("JACK server '" + server.name() + "': 48000 Hz, periods of 256 frames"),
              std::string::npos)
        << up.out;
    EXPECT_NE(up.out.find("system  2 channels  2 channels  the sound card"), std::string::npos) << up.out;

    server.stop();
    const ToolRun down = runTool({"play", "--list-devices"}, {}, server.environment());
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_EQ(down.out, "");
    // One line of the tool's, none of the JACK library's.
    ASSERT_EQ(down.errLines().size(), 1u) << down.err;
    EXPECT_NE(down.err.find("no JACK server '" + server.name() + "' is running"), std::string::npos)
        << down.err;
}

TEST(PlayCommand, EditPlaysItsInputIntoTheRecordingClientWhileTheEditorIsOpen) {
    START_JACK(server, 256);
    VirtualDisplay display;
    if (!display.started())
        GTEST_SKIP() << display.failure();
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 48000));
    // The settings reach the editor through a preset, saved by the offline render.
    const ToolRun rendered = runTool(
        concatenated({"process", "ZamCompX2", folder.file("in.wav"), folder.file("offline.wav"), "--block",
                      "256", "--tail", "off", "--save-preset", folder.file("dialled.vstpreset")},
                     kCompressorSettings));
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;

    const Sound expected = readSound(folder.file("offline.wav"));
    expectSomeRecordingHolds([&]() -> testing::AssertionResult {
        JackRecorder recorder(server, folder.file("recorded.wav"), 5);
        if (!recorder.started())
            return testing::AssertionFailure() << "the recorder did not start";
        BackgroundTool tool({"edit", "ZamCompX2", "--input", folder.file("in.wav"), "--preset",
                             folder.file("dialled.vstpreset"), "--device", "jackrec"},
                            display.name(), folder.file(""), server.environmentList());
        if (display.waitForWindow("ZamCompX2") == 0u)
            return testing::AssertionFailure() << "no editor window: " << tool.err();
        if (!recorder.finish())
            return testing::AssertionFailure() << "the recorder did not finish";
        tool.signal(SIGINT);
        if (tool.waitForExit() != 0)
            return testing::AssertionFailure() << tool.err();
        // The file's first pass, as the offline render made it.
        return recordingHolds(readSound(folder.file("recorded.wav")), expected);
    });
}
