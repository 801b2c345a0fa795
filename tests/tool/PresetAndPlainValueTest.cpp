// `varnel-vst process` with presets and plain values, on the installed
// ZamCompX2: what a preset or a plain value sets must reach the audio exactly
// as the normalised settings it stands for.
#include "ToolHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>

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
                                    const std::string& message, int exitCode = 1) {
        const ToolRun result = run(plugin, "refused.wav", options);
        EXPECT_EQ(result.exitCode, exitCode) << result.err;
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
    // A title but for case is the title.
    EXPECT_EQ(render("ZamCompX2", "case.wav", {"--set-text", "threshold=-24"}), normalised);
    expectRefusedWithoutOutput(
        "ZamCompX2", {"--set-plain", "Threshold=-240"},
        "'--set-plain Threshold=-240': Threshold takes a plain value from -80 to 0 dB, "
        "not -240",
        2);
}

// The plug-in itself reads "loud" as 0 dB and -400 dB as -80 without a word: the
// tool refuses both, says what the parameter takes, and shows what was set.
TEST_F(PresetAndPlainValue, SettingsAreCheckedAndShownAsThePluginTookThem) {
    for (const auto& [options, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--set-text", "Threshold=loud"}, "Threshold takes a value from -80 to 0 dB, not 'loud'"},
             {{"--set-text", "Threshold=-400"}, "Threshold takes a value from -80 to 0 dB, not '-400'"},
             {{"--set", "Treshold=0.5"},
              "unknown parameter 'Treshold' in '--set Treshold=0.5' (did you mean "
              "'Threshold'?); varnel-vst params ZamCompX2 lists them"},
             {{"--then", "ZamCompX2", "--set-text", "Stereo Detection=2"},
              "plug-in 2 (ZamCompX2): '--set-text Stereo Detection=2': Stereo Detection takes one of 0, 1"}})
        expectRefusedWithoutOutput("ZamCompX2", options, message, 2);

    const std::string preset = folder.file("ratio.vstpreset");
    render("ZamCompX2", "saved.wav", {"--set-plain", "Ratio=8", "--save-preset", preset});
    const ToolRun shown = run("ZamCompX2", "shown.wav", {"--preset", preset, "--set-text", "Threshold=-24"});
    EXPECT_NE(shown.out.find("settings  preset " + preset + ", Threshold = -24 dB\n"), std::string::npos)
        << shown.out;
    const ToolRun listed =
        runTool({"params", "ZamCompX2", "--json", "--preset", preset, "--set-text", "Threshold=-24"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::map<std::string, double> plain;
    const nlohmann::json description = nlohmann::json::parse(listed.out);
    for (const auto& parameter : description.at("parameters"))
        plain[parameter.at("title").get<std::string>()] = parameter.at("plain").at("value").get<double>();
    EXPECT_DOUBLE_EQ(plain["Ratio"], 8.0);
    EXPECT_NEAR(plain["Threshold"], -24.0, 1e-4);
}

// A compressor leaves what lies below its threshold as it is: a file whose quiet
// end passes unchanged is no reason for a note.
TEST_F(PresetAndPlainValue, QuietPassagesACompressorLeavesAloneAreNoNews) {
    writeSound(input, makeSignal(2, 96000));
    const ToolRun result = run("ZamCompX2", "quiet.wav", {"--set-plain", "Threshold=-12"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("note"), std::string::npos) << result.err;
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
