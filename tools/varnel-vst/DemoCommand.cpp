// `varnel-vst demo`: hear the library work without bringing a file. A test
// signal goes through ZamCompX2, squeezed hard enough to hear: the drum hits
// lose their punch and the quiet chord comes up between them.
#include "AudioFile.h"
#include "Commands.h"
#include "OutputFile.h"
#include "PluginFolders.h"
#include "StandardOutput.h"
#include "TestSignal.h"
#include "ToolError.h"

#include <filesystem>
#include <ostream>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDemoPlugin = "ZamCompX2";
constexpr int kSampleRate = 48000;
constexpr double kSeconds = 4.0;

ParameterSetting setting(const std::string& title, float value, const std::string& text,
                         const std::string& meaning) {
    ParameterSetting result;
    result.kind = ParameterSetting::Kind::byTitle;
    result.title = title;
    result.value = value;
    result.argument = "--set " + title + "=" + text + "  (" + meaning + ")";
    return result;
}

// ZamCompX2's normalised values map linearly onto its ranges. A low threshold, a
// high ratio and the fastest attack flatten the drum hits; the makeup gain then
// lifts the chord between them.
std::vector<ParameterSetting> demoSettings() {
    return {
        setting("Threshold", 0.7f, "0.7", "-24 dB of -80..0"),
        setting("Ratio", 0.6f, "0.6", "12.4:1 of 1..20"),
        setting("Attack", 0.0f, "0", "0.1 ms of 0.1..100"),
        setting("Release", 0.1f, "0.1", "50.9 ms of 1..500"),
        setting("Makeup", 0.4f, "0.4", "+12 dB of 0..30"),
    };
}

void writeDemoInput(const std::string& path) {
    const std::vector<float> signal = makeDemoSignal(kSampleRate, kSeconds);
    OutputFile file(inspectOutput(path, {}, false), SF_FORMAT_WAV | SF_FORMAT_FLOAT, kSampleRate, 2);
    file.write(signal.data(), signal.size() / 2);
    file.commit();
}

} // namespace

int runDemo(const DemoCommand& command) {
    try {
        locatePlugin(kDemoPlugin);
    } catch (const ToolError&) {
        throw failure(std::string("the demo needs ") + kDemoPlugin +
                      ", which is not installed (Debian package zam-plugins; scripts/setup.sh installs it)");
    }

    // The input goes beside the output: beside a device or a FIFO it would land in
    // a system folder such as /dev.
    std::error_code error;
    const fs::file_status status = fs::status(command.output, error);
    if (command.output == "-" || (fs::exists(status) && !fs::is_regular_file(status)))
        throw usageError("the demo writes its input beside its output, so " + command.output +
                         " must be a regular file or a new one");
    const fs::path output(command.output);
    const fs::path folder = output.parent_path();
    const std::string input = (folder / "demo-input.wav").string();
    if (fs::path(input).lexically_normal() == output.lexically_normal())
        throw usageError("the demo writes its input to " + input + "; choose another output name");
    if (!folder.empty() && !fs::create_directories(folder, error) && error)
        throw failure("cannot create " + folder.string() + ": " + error.message());

    writeDemoInput(input);
    toolOutput() << "demo: a " << kSeconds << " s test signal (drum hits over a quiet chord) through "
                 << kDemoPlugin << '\n';
    ProcessCommand process;
    process.stages = {ChainStage{kDemoPlugin, demoSettings(), {}, {}, {}}};
    process.input = input;
    process.output = command.output;
    for (const ParameterSetting& each : process.stages.front().settings)
        toolOutput() << "      " << each.argument << '\n';
    toolOutput() << '\n';
    const int result = runProcess(process);
    toolOutput() << "\nlisten: " << input << " (before) and " << command.output << " (after)\n";
    return result;
}

} // namespace varnelvst::tool
