// `varnel-vst process` and time: whole blocks for the plug-in, its latency taken
// off the start of the output, its tail rendered after the input's end, and
// chains of plug-ins, alone and in batches.
#include "ProcessFixture.h"

#include "testplugin/TestPluginHandle.h"
#include "testsupport/InstalledPlugins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace tooltest;
using testplugin::TestPluginHandle;
using testsupport::isInstalled;

namespace {

constexpr int kRate = 48000;
constexpr std::size_t kFrames = kProcessFrames;

// ZamVerb leaves its convolution buffers behind when its library unloads, which
// the leak checker of a sanitizer build would blame on the tool; other tests
// keep leak checking on for the tool's own code.
const std::string kZamVerbLeaks = "LSAN_OPTIONS=detect_leaks=0";

using ProcessTiming = ProcessFixture;

} // namespace

TEST_F(ProcessTiming, LatencyIsTakenOffTheStartAndTheTailFollowsTheInput) {
    const std::string plugin = TestPluginHandle::bundlePath("TestLatencyTail");
    // The plug-in delays by 300 samples and asks for 2400 of tail.
    Sound result = process(plugin, {"--block", "100"});
    ASSERT_EQ(result.frames(), kFrames + 2400);
    for (std::size_t i = 0; i < source.samples.size(); ++i)
        ASSERT_EQ(result.samples[i], source.samples[i]) << "sample " << i;
    for (std::size_t i = source.samples.size(); i < result.samples.size(); ++i)
        ASSERT_EQ(result.samples[i], 0.0f) << "sample " << i;
    EXPECT_NE(run.out.find("latency   300 samples, compensated"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("tail      2400 frames rendered (plug-in: 2400 samples (0.050 s))"),
              std::string::npos)
        << run.out;

    // Uncompensated, the output comes as late as the plug-in makes it.
    result = process(plugin, {"--no-latency-compensation", "--tail", "off"});
    ASSERT_EQ(result.frames(), kFrames);
    for (std::size_t i = 0; i < 2 * 300; ++i)
        ASSERT_EQ(result.samples[i], 0.0f) << "sample " << i;
    for (std::size_t i = 2 * 300; i < result.samples.size(); ++i)
        ASSERT_EQ(result.samples[i], source.samples[i - 2 * 300]) << "sample " << i;
    EXPECT_NE(run.out.find("latency   300 samples, not compensated"), std::string::npos) << run.out;
}

TEST_F(ProcessTiming, FixedBlocksFeedAPluginOfOneBlockSizeAndTheirDelayIsCompensated) {
    const std::string plugin = TestPluginHandle::bundlePath("TestWholeBlocks");
    // It refuses every block but its set-up's size, and delays by 100; blocks
    // gathered to 512 delay by 512 more. The tempo options only have to pass.
    const Sound result = process(plugin, {"--block", "480", "--fixed-block", "512", "--tempo", "140",
                                          "--time-signature", "7/8", "--tail", "off"});
    EXPECT_NE(run.out.find("latency   612 samples, compensated"), std::string::npos) << run.out;
    EXPECT_EQ(result.samples, source.samples);
}

TEST_F(ProcessTiming, AnOpenTailStopsWhenSilentWhenItStopsDecayingOrAtTheCap) {
    const std::string plugin = TestPluginHandle::bundlePath("TestEndlessTail");
    // Silent after the input: the silent second that ends the tail is not written.
    Sound result = process(plugin, {"--set", "Gain=0"});
    EXPECT_EQ(result.frames(), kFrames);
    EXPECT_NE(run.out.find("(plug-in: infinite)"), std::string::npos) << run.out;
    // At Gain 1 it hums for ever at one level, and so does a noise floor: under
    // auto neither is a tail; taking the plug-in's word, the hum runs to the cap.
    result = process(plugin, {"--block", "4096"});
    EXPECT_EQ(result.frames(), kFrames);
    result = process(TestPluginHandle::bundlePath("TestNoiseFloor"), {});
    EXPECT_LT(result.frames(), kFrames + kRate);
    result = process(plugin, {"--block", "4096", "--tail", "plugin"});
    EXPECT_EQ(result.frames(), kFrames + 30 * kRate);
    EXPECT_FLOAT_EQ(result.samples.back(), 0.001f);
    result = process(plugin, {"--tail", "0.25"});
    EXPECT_EQ(result.frames(), kFrames + kRate / 4);
    result = process(plugin, {"--tail", "off"});
    EXPECT_EQ(result.frames(), kFrames);
}

// ZamDelay repeats a click every 1.5 s, with silence between the repeats: the
// automatic tail keeps them, each 0.6 times the one before.
TEST_F(ProcessTiming, AnOpenTailKeepsEchoesSecondsApart) {
    if (!isInstalled("ZamDelay"))
        GTEST_SKIP() << "ZamDelay is not installed (scripts/setup.sh installs zam-plugins)";
    Sound click{kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(kRate / 2, 0.0f)};
    std::fill(click.samples.begin(), click.samples.begin() + 480, 0.5f);
    writeSound(input, click);
    const Sound result = process("ZamDelay", {"--set-plain", "Time=1500", "--set-plain", "Feedback=0.6"});
    const auto peakAround = [&](double seconds) {
        const auto start = static_cast<std::size_t>((seconds - 0.25) * kRate);
        const auto end = std::min(result.samples.size(), static_cast<std::size_t>((seconds + 0.25) * kRate));
        float peak = 0.0f;
        for (std::size_t i = start; i < end; ++i)
            peak = std::max(peak, std::fabs(result.samples[i]));
        return peak;
    };
    for (const double echo : {1.5, 3.0, 4.5, 6.0}) {
        EXPECT_GT(peakAround(echo), 0.02f) << "no echo at " << echo << " s";
        EXPECT_NEAR(peakAround(echo + 1.5) / peakAround(echo), 0.6f, 0.05f) << echo << " s";
    }
}

// ZamVerb processes only whole blocks of the size it was told, and only sizes that
// are powers of two; it passes anything else through dry, as its LV2 build does.
TEST_F(ProcessTiming, ZamVerbEqualsTheLv2BuildAtTheSameBlockSizeAndIsNeverSilentlyDry) {
    if (!isInstalled("ZamVerb") || std::system("command -v lv2file >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ZamVerb or lv2file is not installed (scripts/setup.sh installs them)";
    for (const std::size_t block : {512u, 1500u}) {
        SCOPED_TRACE("block " + std::to_string(block));
        const Sound result = process("ZamVerb", {"--block", std::to_string(block)}, kZamVerbLeaks);
        const std::string reference = folder.file("lv2.wav");
        const std::string command =
            "lv2file -b " + std::to_string(block) + " -i " + input + " -o " + reference +
            " -c 1:lv2_audio_in_1 -c 2:lv2_audio_in_2 urn:zamaudio:ZamVerb >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const Sound lv2 = readSound(reference);
        const std::size_t wholeBlocks = kFrames / block * block;
        ASSERT_GE(lv2.frames(), wholeBlocks);
        ASSERT_GE(result.frames(), kFrames);
        for (std::size_t i = 0; i < 2 * wholeBlocks; ++i)
            ASSERT_EQ(result.samples[i], lv2.samples[i]) << "sample " << i;
        if (block == 1500) {
            EXPECT_NE(
                run.err.find(input +
                             ": ZamVerb passed every block of the input through unchanged; some plug-ins "
                             "process only power-of-two block sizes (try --block 1024 or --fixed-block "
                             "1024)"),
                std::string::npos)
                << run.err;
            continue;
        }
        EXPECT_EQ(run.err.find("unchanged"), std::string::npos) << run.err;
        // No stretch of the output is the dry input, the short last block included.
        for (std::size_t start = 0; start < kFrames; start += 256) {
            const std::size_t end = std::min(start + 256, kFrames);
            bool wet = false;
            for (std::size_t i = 2 * start; i < 2 * end && !wet; ++i)
                wet = result.samples[i] != source.samples[i];
            ASSERT_TRUE(wet) << "frames " << start << " to " << end << " are dry";
        }
        // It reports no tail, yet rings on: the tail runs until it has died away.
        EXPECT_GT(result.frames(), kFrames + kRate / 2);
        EXPECT_LT(result.frames(), kFrames + 30 * kRate);
        EXPECT_GE(
            std::max(std::fabs(result.samples[result.samples.size() - 2]), std::fabs(result.samples.back())),
            1.0e-6f);
    }
}

// ZaMaximX2 looks 480 samples ahead. Compensated, a click comes out where it went
// in, and one 200 samples before the end is not lost.
TEST_F(ProcessTiming, ZaMaximX2ClicksComeOutWhereTheyWentIn) {
    if (!isInstalled("ZaMaximX2"))
        GTEST_SKIP() << "ZaMaximX2 is not installed (scripts/setup.sh installs zam-plugins)";
    const std::size_t first = 10000, last = kFrames - 200;
    Sound clicks{kRate, 2, source.format, std::vector<float>(2 * kFrames, 0.0f)};
    for (const std::size_t at : {first, last})
        clicks.samples[2 * at] = clicks.samples[2 * at + 1] = 0.5f;
    writeSound(input, clicks);
    const Sound result = process("ZaMaximX2", {});
    ASSERT_EQ(result.frames(), kFrames);
    EXPECT_NE(run.out.find("latency   480 samples, compensated"), std::string::npos) << run.out;
    for (const std::size_t at : {first, last}) {
        std::size_t loudest = at - 100;
        for (std::size_t i = at - 100; i < std::min(at + 100, kFrames); ++i) {
            if (std::fabs(result.samples[2 * i]) > std::fabs(result.samples[2 * loudest]))
                loudest = i;
        }
        EXPECT_EQ(loudest, at);
        EXPECT_GT(std::fabs(result.samples[2 * at]), 0.1f) << "click at " << at;
    }
}

// A chain renders as the same plug-ins would in runs one after the other, its
// latency compensated and its tails added up.
TEST_F(ProcessTiming, AChainEqualsRunsInSequence) {
    const std::string plugin = TestPluginHandle::bundlePath("TestLatencyTail");
    const std::string middle = folder.file("middle.wav");
    for (const bool compensated : {true, false}) {
        SCOPED_TRACE(compensated ? "compensated" : "not compensated");
        std::vector<std::string> options;
        if (!compensated)
            options.push_back("--no-latency-compensation");
        auto with = [&options](std::vector<std::string> more) {
            more.insert(more.end(), options.begin(), options.end());
            return more;
        };
        const Sound chained =
            process(plugin, with({"--set", "Gain=0.5", "--then", plugin, "--set", "Gain=0.25"}));
        EXPECT_NE(
            run.out.find("chain     1. " + plugin + " (" + plugin + "): latency 300 samples, tail 2400"),
            std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("          2. " + plugin), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("tail      4800 frames rendered"), std::string::npos) << run.out;

        const std::string chainInput = input;
        output = middle;
        process(plugin, with({"--set", "Gain=0.5"}));
        input = middle;
        output = folder.file("out.wav");
        const Sound inSequence = process(plugin, with({"--set", "Gain=0.25"}));
        input = chainInput;

        ASSERT_EQ(chained.frames(), kFrames + 4800);
        ASSERT_EQ(inSequence.samples.size(), chained.samples.size());
        for (std::size_t i = 0; i < chained.samples.size(); ++i)
            ASSERT_EQ(chained.samples[i], inSequence.samples[i]) << "sample " << i;
        EXPECT_NE(chained.samples, std::vector<float>(chained.samples.size(), 0.0f));
    }
}

// Each file of a batch starts with the chain cleared: the reverb of one file
// does not ring on at the start of the next.
TEST_F(ProcessTiming, ABatchWorkersChainStartsEveryFileClean) {
    if (!isInstalled("ZamCompX2") || !isInstalled("ZamVerb"))
        GTEST_SKIP() << "zam-plugins is not installed (scripts/setup.sh installs it)";
    const std::string silent = folder.file("silent.wav");
    writeSound(silent, Sound{kRate, 2, source.format, std::vector<float>(2 * kRate / 2, 0.0f)});
    const std::string out = folder.file("out");
    // One worker, in the order given: the silent file follows the loud one.
    run = runTool({"process", "ZamCompX2", "--output-dir", out, "--jobs", "1", "--then", "ZamVerb", "--tail",
                   "0.1", input, silent},
                  {}, kZamVerbLeaks);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound loud = readSound(out + "/in.wav");
    ASSERT_EQ(loud.frames(), kFrames + kRate / 10);
    EXPECT_GT(std::fabs(loud.samples.back()), 1.0e-4f) << "the first file's tail was cut short";
    const Sound quiet = readSound(out + "/silent.wav");
    ASSERT_EQ(quiet.frames(), std::size_t{kRate / 2 + kRate / 10});
    for (std::size_t i = 0; i < quiet.samples.size(); ++i)
        ASSERT_LT(std::fabs(quiet.samples[i]), 1.0e-6f) << "sample " << i;
}

// --preset and --save-preset after a --then belong to that plug-in.
TEST_F(ProcessTiming, EachPluginOfAChainHasItsOwnPresets) {
    const std::string gain = TestPluginHandle::bundlePath("TestSeparate");
    const std::string preset = folder.file("quarter.vstpreset");
    process(gain, {"--set", "Gain=0.5", "--then", gain, "--set", "Gain=0.25", "--save-preset", preset});
    const Sound result = process(gain, {"--preset", preset, "--then", gain, "--set", "Gain=0.5"});
    ASSERT_EQ(result.samples.size(), source.samples.size());
    for (std::size_t i = 0; i < result.samples.size(); ++i)
        ASSERT_EQ(result.samples[i], source.samples[i] * 0.125f) << "sample " << i;
}

// A plug-in whose latency follows a setting (256 samples until Mode arrives, then
// 256, 0 or 1000) changes it once the setting reaches its processor: the render
// starts from the latency in force then, alone, with fixed blocks, in a chain and
// in a batch. Its restart request comes at once from the processor, or, as
// JUCE-built plug-ins send it, from its own thread 20 ms later and again after
// every activation.
TEST_F(ProcessTiming, ALatencyThatFollowsASettingIsCompensatedAsSet) {
    writeSound(folder.file("second.wav"), makeSignal(2, 9000));
    for (const char* name : {"TestLatencyFollowsMode", "TestLatencyRequestedLater"}) {
        SCOPED_TRACE(name);
        const std::string plugin = TestPluginHandle::bundlePath(name);
        for (const auto& [mode, latency] : {std::pair<std::string, std::string>{"1", "1000"}, {"0.5", "0"}}) {
            EXPECT_EQ(process(plugin, {"--set", "Mode=" + mode}).samples, source.samples) << mode;
            EXPECT_NE(run.out.find("latency   " + latency + " samples"), std::string::npos) << run.out;
        }
        EXPECT_EQ(process(plugin, {"--set", "Mode=1", "--fixed-block", "128"}).samples, source.samples);
        // Then TestLatencyTail: 300 samples more, and 2400 of silent tail.
        const std::string out = folder.file(std::string("out-") + name);
        run = runTool({"process", plugin, "--set", "Mode=1", "--then",
                       TestPluginHandle::bundlePath("TestLatencyTail"), "--output-dir", out, "--jobs", "1",
                       input, folder.file("second.wav")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const std::string file : {"in.wav", "second.wav"}) {
            std::vector<float> expected = readSound(folder.file(file)).samples;
            expected.resize(expected.size() + 2 * 2400, 0.0f);
            EXPECT_EQ(readSound(out + "/" + file).samples, expected) << file;
        }
    }
}

// A plug-in that changes its latency in the middle of a render (256 samples, then
// 64 once audio flows) was compensated by the wrong one: an error, not a file out
// of line with its input; in a batch, that file fails.
TEST_F(ProcessTiming, ALatencyThatMovesDuringTheRenderFailsTheFile) {
    const std::string plugin = TestPluginHandle::bundlePath("TestLatencyMovesWhileRendering");
    const std::string moved = "varnel-vst: error: the latency of " + plugin +
                              " changed during the render of " + input +
                              " from 256 to 64 samples: the output would not line up with the input";
    run = runTool({"process", plugin, input, output});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errLines(), std::vector<std::string>{moved + "; " + output + " was not written"});
    EXPECT_FALSE(std::filesystem::exists(output));
    const std::string out = folder.file("out");
    run = runTool({"process", plugin, "--output-dir", out, input});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errLines(), std::vector<std::string>{moved + "; " + out + "/in.wav was not written"});
    EXPECT_TRUE(std::filesystem::is_empty(out));
}
