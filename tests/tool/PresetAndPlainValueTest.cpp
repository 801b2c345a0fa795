// `varnel-vst process` with presets and plain values, on the installed
// ZamCompX2: what a preset or a plain value sets must reach the audio exactly
// as the normalised settings it stands for.
#include "ToolHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tooltest;

namespace {

constexpr const char* kCompressor = "/usr/lib/vst3/ZamCompX2.vst3";

class PresetAndPlainValue : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kCompressor))
            GTEST_SKIP() << "ZamCompX2 is not installed (scripts/setup.sh installs zam-plugins)";
        input = folder.file("in.wav");
        writeSound(input, makeSignal(2, 24000));
        // The default (threshold 0 dB) barely touches the signal: every setting
        // compared below must be told apart from it.
        unchanged = render("ZamCompX2", "default.wav", {});
    }

    ToolRun run(const std::string& plugin, const std::string& output,
                const std::vector<std::string>& options) {
        std::vector<std::string> arguments{"process", plugin, input, folder.file(output)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runTool(arguments);
    }

    std::vector<float> render(const std::string& plugin, const std::string& output,
                              const std::vector<std::string>& options) {
        const ToolRun result = run(plugin, output, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(folder.file(output)).samples;
    }

    void expectRefusedWithoutOutput(const std::string& plugin, const std::vector<std::string>& options,
                                    const std::string& message) {
        const ToolRun result = run(plugin, "refused.wav", options);
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(folder.file("refused.wav")));
    }

    ScratchFolder folder;
    std::string input;
    std::vector<float> unchanged;
};

TEST_F(PresetAndPlainValue, SavedPresetRendersBitIdenticallyWhenLoadedBack) {
    const std::string preset = folder.file("settings.vstpreset");
    const std::vector<float> saved = render(
        "ZamCompX2", "saved.wav", {"--set", "Threshold=0.7", "--set", "Ratio=0.5", "--save-preset", preset});
    ASSERT_NE(saved, unchanged);
    EXPECT_EQ(render("ZamCompX2", "loaded.wav", {"--preset", preset}), saved);
    // Settings after the preset change what it set.
    EXPECT_EQ(render("ZamCompX2", "reset.wav",
                     {"--preset", preset, "--set", "Threshold=1", "--set-plain", "Ratio=4"}),
              unchanged);
}

TEST_F(PresetAndPlainValue, PlainValueAndTextRenderAsTheNormalisedValue) {
    // Threshold spans -80 to 0 dB: -24 dB is normalised 0.7.
    const std::vector<float> normalised = render("ZamCompX2", "normalised.wav", {"--set", "Threshold=0.7"});
    ASSERT_NE(normalised, unchanged);
    EXPECT_EQ(render("ZamCompX2", "plain.wav", {"--set-plain", "Threshold=-24"}), normalised);
    EXPECT_EQ(render("ZamCompX2", "text.wav", {"--set-text", "Threshold=-24 dB"}), normalised);
    expectRefusedWithoutOutput("ZamCompX2", {"--set-plain", "Threshold=-240"},
                               "'--set-plain Threshold=-240': Threshold does not take that value");
}

TEST_F(PresetAndPlainValue, ForeignOrTruncatedPresetIsRefusedWithoutOutput) {
    const std::string preset = folder.file("compressor.vstpreset");
    render("ZamCompX2", "saved.wav", {"--save-preset", preset});
    ASSERT_TRUE(std::filesystem::exists(preset));
    if (std::filesystem::exists("/usr/lib/vst3/ZamEQ2.vst3"))
        expectRefusedWithoutOutput("ZamEQ2", {"--preset", preset}, "could not restore the preset");
    std::filesystem::resize_file(preset, std::filesystem::file_size(preset) / 2);
    expectRefusedWithoutOutput("ZamCompX2", {"--preset", preset}, "could not restore the preset");
}

} // namespace
