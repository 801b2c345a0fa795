// ZamCompX2 and ZamEQ2 rendered through VSTModule must equal, bit for bit, Debian's
// lv2file rendering of the LV2 build of the same DSP with the same settings.
#include "VSTModule.h"
#include "testsupport/ScratchFolder.h"
#include "testsupport/SoundFile.h"

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using testsupport::readSound;
using testsupport::ScratchFolder;
using testsupport::writeSound;
using varnel::extensions::vst::VSTModule;

namespace {

constexpr int kSampleRate = 48000;
constexpr int kFrames = kSampleRate; // one second
constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// Interleaved stereo: a decaying chord loud enough to drive the compressor hard.
std::vector<float> makeSignal() {
    std::vector<float> samples(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double envelope = 0.9 * std::exp(-2.0 * t) + 0.05;
        samples[2 * i] = static_cast<float>(envelope * std::sin(2 * M_PI * 220 * t));
        samples[2 * i + 1] = static_cast<float>(envelope * std::sin(2 * M_PI * 331 * t + 0.3));
    }
    return samples;
}

// Runs `module` over the whole signal in blocks of an uneven size, to show the
// result does not hang on the block size.
void render(VSTModule& module, std::vector<float>& inL, std::vector<float>& inR, std::vector<float>& outL,
            std::vector<float>& outR) {
    constexpr int kBlock = 300;
    for (int start = 0; start < kFrames; start += kBlock) {
        const int frames = std::min(kBlock, kFrames - start);
        module.process(inL.data() + start, inR.data() + start, outL.data() + start, outR.data() + start,
                       frames);
    }
}

} // namespace

TEST(ReferenceRender, ZamCompX2MatchesTheLv2BuildBitForBit) {
    if (std::system("command -v lv2file >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "lv2file is not installed (scripts/setup.sh installs it)";

    ScratchFolder folder;
    const std::string input = folder.file("in.wav");
    const std::string reference = folder.file("lv2.wav");
    const std::vector<float> signal = makeSignal();
    ASSERT_NO_FATAL_FAILURE(writeSound(input, {kSampleRate, 2, kFloatWav, signal}));

    // Values whose normalised form maps back exactly: threshold -20 dB of -80..0 and
    // ratio 10.5 of 1..20; the rest stay at their defaults. No makeup gain: lv2file
    // clips its output to [-1, 1].
    const std::string command = "lv2file -i " + input + " -o " + reference +
                                " -c 1:lv2_audio_in_1 -c 2:lv2_audio_in_2"
                                " -p thr:-20 -p rat:10.5 urn:zamaudio:ZamCompX2 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<float> expected = readSound(reference).samples;
    ASSERT_EQ(expected.size(), signal.size());

    varnel::LogCapture log;
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin("/usr/lib/vst3/ZamCompX2.vst3"));
    ASSERT_TRUE(module.setSampleRate(kSampleRate));
    ASSERT_TRUE(module.setParameter(std::string("Threshold"), 0.75f));
    ASSERT_TRUE(module.setParameter(std::string("Ratio"), 0.5f));

    std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        inL[i] = signal[2 * i];
        inR[i] = signal[2 * i + 1];
    }
    render(module, inL, inR, outL, outR);

    int differing = 0;
    for (int i = 0; i < kFrames; ++i) {
        differing += outL[i] != expected[2 * i];
        differing += outR[i] != expected[2 * i + 1];
    }
    EXPECT_EQ(differing, 0);
    // The settings are audible: the output is not the input.
    EXPECT_NE(outL[kFrames / 2], inL[kFrames / 2]);
    EXPECT_TRUE(log.lines().empty());
}

TEST(ReferenceRender, MonoOnlyZamEQ2RendersEachStereoChannelAsTheLv2BuildDoes) {
    if (std::system("command -v lv2file >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "lv2file is not installed (scripts/setup.sh installs it)";
    ScratchFolder folder;
    const std::vector<float> signal = makeSignal(); // different tones left and right
    std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        inL[i] = signal[2 * i];
        inR[i] = signal[2 * i + 1];
    }

    // The LV2 build renders each channel on its own, as a mono file. Boost/Cut 1 at
    // -15 dB of -50..20 is 0.5 normalised, exactly.
    std::vector<std::vector<float>> expected;
    for (const auto& [name, channel] : {std::pair{"left", &inL}, std::pair{"right", &inR}}) {
        const std::string input = folder.file(std::string(name) + ".wav");
        const std::string output = folder.file(std::string(name) + "-lv2.wav");
        ASSERT_NO_FATAL_FAILURE(writeSound(input, {kSampleRate, 1, kFloatWav, *channel}));
        const std::string command =
            "lv2file -i " + input + " -o " + output + " -p boost1:-15 urn:zamaudio:ZamEQ2 >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        expected.push_back(readSound(output).samples);
        ASSERT_EQ(expected.back().size(), static_cast<std::size_t>(kFrames));
    }

    varnel::LogCapture log;
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin("/usr/lib/vst3/ZamEQ2.vst3"));
    EXPECT_EQ(module.getChannelLayout(), varnel::extensions::vst::VSTChannelLayout::dualMono);
    ASSERT_TRUE(module.setSampleRate(kSampleRate));
    ASSERT_TRUE(module.setParameter(std::string("Boost/Cut 1"), 0.5f));
    render(module, inL, inR, outL, outR);

    // Within 1e-6; the two builds agree bit for bit on this machine.
    double worstLeft = 0.0;
    double worstRight = 0.0;
    for (int i = 0; i < kFrames; ++i) {
        worstLeft = std::max(worstLeft, std::fabs(double(outL[i]) - expected[0][i]));
        worstRight = std::max(worstRight, std::fabs(double(outR[i]) - expected[1][i]));
    }
    EXPECT_LE(worstLeft, 1e-6);
    EXPECT_LE(worstRight, 1e-6);
    // The setting is audible on both channels: it reached both instances.
    EXPECT_GT(std::fabs(outL[kFrames / 2] - inL[kFrames / 2]), 1e-3);
    EXPECT_GT(std::fabs(outR[kFrames / 2] - inR[kFrames / 2]), 1e-3);
    EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
}
