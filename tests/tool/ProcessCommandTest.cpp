// `varnel-vst process`: what reaches the output file, and what the summary says.
#include "ProcessFixture.h"

#include "testplugin/TestPluginHandle.h"

#include <VSTExtension.h>
#include <VSTProcessorNode.h>

#include <varnel/ExtensionManager.h>
#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include <sys/stat.h>

using namespace tooltest;
using testplugin::TestPluginHandle;

namespace {

constexpr std::size_t kFrames = kProcessFrames;

std::string gainPlugin() {
    return TestPluginHandle::bundlePath("TestSeparate");
}

class ProcessCommand : public ProcessFixture {
protected:
    static void expectScaled(const Sound& result, const Sound& original, float gain) {
        ASSERT_EQ(result.channels, 2);
        ASSERT_EQ(result.frames(), original.frames());
        for (std::size_t i = 0; i < result.samples.size(); ++i)
            ASSERT_EQ(result.samples[i], original.samples[i] * gain) << "sample " << i;
    }
};

} // namespace

TEST_F(ProcessCommand, SetByTitleReachesTheAudioExactly) {
    expectScaled(process(gainPlugin(), {"--set", "Gain=0.5"}), source, 0.5f);
    // Options, titles and choices but for case.
    expectScaled(process(gainPlugin(), {"--SET", "gain=0.25", "--Format", "WAV"}), source, 0.25f);
}

TEST_F(ProcessCommand, SetByIdReachesTheAudioExactly) {
    expectScaled(process(gainPlugin(), {"--set-id", "1=0.25"}), source, 0.25f);
}

TEST_F(ProcessCommand, SettingsApplyInCommandLineOrder) {
    expectScaled(process(gainPlugin(), {"--set", "Gain=0.25", "--set-id", "1=0.5"}), source, 0.5f);
    expectScaled(process(gainPlugin(), {"--set-id", "1=0.5", "--set", "Gain=0.25"}), source, 0.25f);
}

TEST_F(ProcessCommand, ValueNamesSetTheValueTheyStandFor) {
    // Name i of n stands for i / n: "loud", the second of two, for 0.5.
    expectScaled(process(gainPlugin(), {"--value-names", "Gain=quiet,loud", "--set", "Gain=@loud"}), source,
                 0.5f);
}

TEST_F(ProcessCommand, SmallBlocksGiveTheSameResultWithAShortLastBlock) {
    expectScaled(process(gainPlugin(), {"--set", "Gain=0.5", "--block", "100"}), source, 0.5f);
}

TEST_F(ProcessCommand, BypassWritesTheInputUnchanged) {
    expectScaled(process(gainPlugin(), {"--set", "Gain=0.5", "--bypass"}), source, 1.0f);
}

TEST_F(ProcessCommand, MonoInputStaysMonoUnlessTwoChannelsAreAsked) {
    const Sound mono = makeSignal(1, kFrames);
    writeSound(input, mono);
    const Sound kept = process(gainPlugin(), {"--set", "Gain=0.5"});
    ASSERT_EQ(kept.channels, 1);
    ASSERT_EQ(kept.frames(), mono.frames());
    for (std::size_t frame = 0; frame < mono.frames(); ++frame)
        ASSERT_EQ(kept.samples[frame], mono.samples[frame] * 0.5f) << frame;
    const Sound result = process(gainPlugin(), {"--set", "Gain=0.5", "-c", "2"});
    ASSERT_EQ(result.channels, 2);
    ASSERT_EQ(result.frames(), mono.frames());
    for (std::size_t frame = 0; frame < mono.frames(); ++frame) {
        ASSERT_EQ(result.samples[2 * frame], mono.samples[frame] * 0.5f) << frame;
        ASSERT_EQ(result.samples[2 * frame + 1], mono.samples[frame] * 0.5f) << frame;
    }
    // And a stereo file made mono is the mean of its channels.
    writeSound(input, source);
    const Sound mixed = process(gainPlugin(), {"--channels", "1"});
    ASSERT_EQ(mixed.channels, 1);
    for (std::size_t frame = 0; frame < source.frames(); ++frame)
        ASSERT_EQ(mixed.samples[frame], (source.samples[2 * frame] + source.samples[2 * frame + 1]) * 0.5f);
}

// As sox: -r resamples the output (libsoxr), -b chooses its depth, and 16 bits
// get TPDF dither unless --no-dither.
TEST_F(ProcessCommand, RateAndBitsShapeTheOutputWithDitherBelow24Bits) {
    const Sound resampled = process(gainPlugin(), {"-r", "44100"});
    EXPECT_EQ(resampled.sampleRate, 44100);
    ASSERT_EQ(resampled.frames(), std::size_t{kFrames * 44100 / 48000 + 1}); // 44170.7, rounded
    // The same tones at the new rate (the filter rings only at the abrupt ends).
    const Sound expected = makeSignal(2, resampled.frames(), 44100);
    for (std::size_t i = 400; i + 400 < expected.samples.size(); ++i)
        ASSERT_NEAR(resampled.samples[i], expected.samples[i], 1e-3) << "sample " << i;

    const float lsb = 1.0f / 32768.0f;
    const Sound plain = process(gainPlugin(), {"--set", "Gain=0.5", "-b", "16", "--no-dither"});
    EXPECT_EQ(plain.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    for (std::size_t i = 0; i < plain.samples.size(); ++i)
        ASSERT_EQ(plain.samples[i], std::nearbyint(source.samples[i] * 0.5f / lsb) * lsb) << i;
    const Sound dithered = process(gainPlugin(), {"--set", "Gain=0.5", "--bits", "16"});
    std::size_t moved = 0;
    for (std::size_t i = 0; i < dithered.samples.size(); ++i) {
        ASSERT_LE(std::fabs(dithered.samples[i] - source.samples[i] * 0.5f), 1.5f * lsb) << i;
        moved += dithered.samples[i] != plain.samples[i] ? 1 : 0;
    }
    EXPECT_GT(moved, dithered.samples.size() / 4);
}

TEST_F(ProcessCommand, KeepsTheInputSubtypeAndWithoutAnExtensionTheFormat) {
    Sound pcm = makeSignal(2, kFrames, 44100, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    writeSound(input, pcm);
    output = folder.file("out");
    const Sound result = process(gainPlugin(), {});
    EXPECT_EQ(result.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_EQ(result.sampleRate, 44100);
    // Gain 1 through 16-bit samples read and written again: the same samples.
    expectScaled(result, readSound(input), 1.0f);
}

TEST_F(ProcessCommand, TheOutputsExtensionChoosesItsFormat) {
    for (const auto& [name, format] :
         std::vector<std::pair<std::string, int>>{{"out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                                                  {"out.AIFF", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
                                                  {"out.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                                  {"out.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                                                  {"out.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}}) {
        output = folder.file(name);
        EXPECT_EQ(process(gainPlugin(), {}).format, format) << name;
    }
    // Standard output gets WAV, and the summary moves to standard error. Here it
    // is a file (the harness's), which can seek: the header states the length.
    const ToolRun piped = runTool({"process", gainPlugin(), input, "-", "--set", "Gain=0.5"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out.substr(0, 4), "RIFF");
    std::uint32_t riffSize = 0;
    std::memcpy(&riffSize, piped.out.data() + 4, sizeof riffSize);
    EXPECT_EQ(riffSize + 8u, piped.out.size());
    EXPECT_NE(piped.err.find("wrote     -"), std::string::npos) << piped.err;
    // An extension libsndfile does not write is refused before anything runs.
    const ToolRun unknown = runTool({"process", gainPlugin(), input, folder.file("out.xyz")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("libsndfile writes no .xyz files"), std::string::npos) << unknown.err;
    // So is Opus at a rate it does not take.
    const ToolRun opus = runTool({"process", gainPlugin(), input, folder.file("out.opus"), "-r", "44100"});
    EXPECT_EQ(opus.exitCode, 2);
    EXPECT_NE(opus.err.find("Opus takes 8000, 12000, 16000, 24000 or 48000 Hz"), std::string::npos)
        << opus.err;
}

TEST_F(ProcessCommand, FormatAndSubtypeOptionsChooseTheOutputFormat) {
    const Sound result = process(gainPlugin(), {"--format", "flac", "--subtype", "pcm24"});
    EXPECT_EQ(result.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const Sound wav = process(gainPlugin(), {"--format=wav", "--subtype=pcm16"});
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST_F(ProcessCommand, MonoOnlyPluginProcessesBothChannelsAndTheSummarySaysHow) {
    const Sound result = process(TestPluginHandle::bundlePath("TestMono"), {"--set", "Gain=0.5"});
    expectScaled(result, source, 0.5f);
    EXPECT_NE(run.out.find("channels  dual mono (two mono instances, one per channel)"), std::string::npos)
        << run.out;
}

TEST_F(ProcessCommand, SummaryReportsFramesLevelsAndTheOutput) {
    // A constant 0.5: peak and RMS both -6.0 dBFS in, -12.0 dBFS after gain 0.5.
    Sound constant{48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2 * 24000, 0.5f)};
    writeSound(input, constant);
    process(gainPlugin(), {"--set", "Gain=0.5"});
    EXPECT_NE(run.out.find("frames    24000 (0.500 s at 48000 Hz)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("input     peak -6.0 dBFS, RMS -6.0 dBFS"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("output    peak -12.0 dBFS, RMS -12.0 dBFS"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("x realtime"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("wrote     " + output), std::string::npos) << run.out;
}

TEST_F(ProcessCommand, NonFiniteSamplesAreCountedAndLeftOutOfTheLevels) {
    Sound constant{48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2 * 4800, 0.5f)};
    constant.samples[7] = std::numeric_limits<float>::quiet_NaN();
    constant.samples[9] = std::numeric_limits<float>::infinity();
    writeSound(input, constant);
    process(gainPlugin(), {"--set", "Gain=0.5"});
    EXPECT_NE(run.out.find("input     peak -6.0 dBFS, RMS -6.0 dBFS (2 samples NaN or infinite, left out)"),
              std::string::npos)
        << run.out;
    EXPECT_NE(
        run.err.find("varnel-vst: warning: " + input + ": the input holds samples that are NaN or infinite"),
        std::string::npos)
        << run.err;
}

TEST_F(ProcessCommand, ZamCompX2OutputEqualsTheLibraryRenderSampleForSample) {
    if (!std::filesystem::exists("/usr/lib/vst3/ZamCompX2.vst3"))
        GTEST_SKIP() << "ZamCompX2 is not installed (scripts/setup.sh installs zam-plugins)";
    constexpr std::uint32_t kBlock = 256;
    const Sound result = process("ZamCompX2", {"--set", "Threshold=0.5", "--set", "Ratio=0.5", "--set",
                                               "Makeup=0.3", "--set-id", "3=0.05", "--block", "256"});
    ASSERT_EQ(result.frames(), source.frames());

    // The same settings through the library, as an application would run them.
    using varnel::extensions::vst::VSTProcessorNode;
    varnel::LogCapture quiet;
    varnel::extensions::vst::VSTExtension::load();
    std::unique_ptr<varnel::Node> created = varnel::ExtensionManager::getInstance().createNode(
        "VSTProcessorNode", {{"pluginFileName", "ZamCompX2.vst3"}});
    auto* node = dynamic_cast<VSTProcessorNode*>(created.get());
    ASSERT_NE(node, nullptr);
    node->setProcessMode(varnel::extensions::vst::VSTProcessingMode::Offline);
    node->setMaxFramesPerBlock(kBlock);
    varnel::AudioBusFormat format{48000, 2};
    ASSERT_TRUE(node->setBusFormat(format, format));
    ASSERT_TRUE(node->setPluginParameter("Threshold", 0.5f));
    ASSERT_TRUE(node->setPluginParameter("Ratio", 0.5f));
    ASSERT_TRUE(node->setPluginParameter("Makeup", 0.3f));
    node->setPluginParameter(3u, 0.05f);

    const std::vector<float> left = source.channel(0), right = source.channel(1);
    std::vector<float> outLeft(left.size()), outRight(right.size());
    for (std::size_t start = 0; start < left.size(); start += kBlock) {
        const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(kBlock, left.size() - start));
        float* inputs[] = {const_cast<float*>(left.data()) + start, const_cast<float*>(right.data()) + start};
        float* outputs[] = {outLeft.data() + start, outRight.data() + start};
        varnel::AudioBuffer<float> in(inputs, 2, frames), out(outputs, 2, frames);
        varnel::AudioBus inBus{&in}, outBus{&out};
        ASSERT_TRUE(node->process(inBus, outBus));
    }

    const std::vector<float> toolLeft = result.channel(0), toolRight = result.channel(1);
    ASSERT_NE(outLeft, left) << "the compressor did nothing; the comparison would prove little";
    for (std::size_t frame = 0; frame < left.size(); ++frame) {
        ASSERT_EQ(toolLeft[frame], outLeft[frame]) << "left, frame " << frame;
        ASSERT_EQ(toolRight[frame], outRight[frame]) << "right, frame " << frame;
    }
}

TEST_F(ProcessCommand, DemoWritesInputAndCompressedOutputUnderOut) {
    if (!std::filesystem::exists("/usr/lib/vst3/ZamCompX2.vst3"))
        GTEST_SKIP() << "ZamCompX2 is not installed (scripts/setup.sh installs zam-plugins)";
    const ToolRun run = runTool({"demo"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound demoInput = readSound(folder.file("out/demo-input.wav"));
    const Sound demoOutput = readSound(folder.file("out/demo-output.wav"));
    ASSERT_EQ(demoInput.channels, 2);
    ASSERT_EQ(demoOutput.frames(), demoInput.frames());
    EXPECT_NE(demoOutput.samples, demoInput.samples);
    EXPECT_NE(run.out.find("wrote     out/demo-output.wav"), std::string::npos) << run.out;
    // Beside a FIFO or a device nothing is written: that could be a system folder.
    std::filesystem::create_directory(folder.file("fifo"));
    ASSERT_EQ(::mkfifo(folder.file("fifo/demo.wav").c_str(), 0600), 0);
    EXPECT_EQ(runTool({"demo", folder.file("fifo/demo.wav")}).exitCode, 2);
    EXPECT_EQ(testsupport::entriesOf(folder.file("fifo")), std::vector<std::string>{"demo.wav"});
}

// Plug-ins print to standard output, through printf and std::cout; none of it
// may reach the sound, the JSON or the lines the tool writes there, also from a
// batch's workers; -q drops it.
TEST_F(ProcessCommand, WhatAPluginPrintsGoesToStandardError) {
    const std::string printing = TestPluginHandle::bundlePath("TestPrintsToStdout");
    const auto printedBoth = [](const ToolRun& run) {
        return run.err.find("TestPrintsToStdout: module entered\n") != std::string::npos &&
               run.err.find("TestPrintsToStdout: hello from std::cout\n") != std::string::npos;
    };
    const ToolRun piped = runTool({"process", printing, input, "-"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    std::ofstream(folder.file("piped.wav"), std::ios::binary) << piped.out;
    EXPECT_EQ(readSound(folder.file("piped.wav")).samples, source.samples);
    EXPECT_TRUE(printedBoth(piped)) << piped.err;
    // -q drops what the plug-in prints, and the tool's own notes, but not the
    // sound and not an error.
    const ToolRun quiet = runTool({"process", printing, input, "-", "-q"});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, piped.out);
    const ToolRun refused = runTool({"-q", "process", printing, input, "-", "--set", "Nothing=1"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err.rfind("varnel-vst: error: unknown parameter 'Nothing'", 0), 0u) << refused.err;
    EXPECT_EQ(refused.errLines().size(), 1u) << refused.err;
    const ToolRun params = runTool({"params", printing, "--json"});
    ASSERT_EQ(params.exitCode, 0) << params.err;
    EXPECT_EQ(nlohmann::json::parse(params.out).at("plugin"), printing);
    EXPECT_TRUE(printedBoth(params)) << params.err;
    const ToolRun batch = runTool({"process", printing, "--output-dir", folder.file("out"), input});
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(batch.out.find("TestPrintsToStdout"), std::string::npos) << batch.out;
    EXPECT_TRUE(printedBoth(batch)) << batch.err;
}

// A plug-in that makes silence of sound (this one has no input) is no silent
// success; but one whose sound comes after the input's end is silent because
// --tail off leaves it out, not because of the sample rate.
TEST_F(ProcessCommand, SilenceMadeOfSoundIsNotedWithItsLikelyCause) {
    const std::string plugin = TestPluginHandle::bundlePath("TestNoInput");
    EXPECT_EQ(process(plugin, {}).samples, std::vector<float>(source.samples.size(), 0.0f));
    EXPECT_NE(
        run.err.find("varnel-vst: note: " + input + ": the output of " + plugin +
                     " is silent though the input is not; plug-ins that support only some sample rates fall "
                     "silent at others (the input is at 48000 Hz)"),
        std::string::npos)
        << run.err;
    // Sound in the last 100 frames only, delayed by 300.
    Sound late{48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2 * 4800, 0.0f)};
    std::fill(late.samples.end() - 200, late.samples.end(), 0.5f);
    writeSound(input, late);
    const std::string delaying = TestPluginHandle::bundlePath("TestLatencyTail");
    EXPECT_EQ(process(delaying, {"--no-latency-compensation", "--tail", "off"}).samples,
              std::vector<float>(late.samples.size(), 0.0f));
    EXPECT_NE(
        run.err.find(": the output of " + delaying +
                     " is silent though the input is not; its sound may come after the input's end, which "
                     "--tail off leaves out\n"),
        std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("sample rates"), std::string::npos) << run.err;
}

// Nothing in a file depends on when it was written (a float WAV's PEAK chunk
// would hold the second, an Ogg stream's serial number comes from the clock,
// dither could come from it):
// the two renders of each are a second apart.
TEST_F(ProcessCommand, TheSameRenderGivesTheSameBytes) {
    const auto bytesOf = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const auto renderAll = [&] {
        std::vector<std::string> files;
        for (const std::string name : {"out.wav", "out.ogg", "dithered.wav"}) {
            output = folder.file(name);
            std::vector<std::string> options{"--set", "Gain=0.5"};
            if (name == "dithered.wav")
                options.insert(options.end(), {"--bits", "16"});
            process(gainPlugin(), options);
            files.push_back(bytesOf(output));
        }
        return files;
    };
    const std::vector<std::string> first = renderAll();
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now) +
                                  std::chrono::milliseconds(10));
    EXPECT_EQ(renderAll(), first);
    EXPECT_EQ(readSound(output).frames(), kFrames);
}
