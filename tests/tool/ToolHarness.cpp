#include "ToolHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace tooltest {

namespace {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

std::vector<std::string> ToolRun::errLines() const {
    std::vector<std::string> lines;
    std::istringstream text(err);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& workingFolder,
                const std::string& environment) {
    const ScratchFolder streams;
    std::string command;
    if (!workingFolder.empty())
        command += "cd " + shellQuoted(workingFolder) + " && ";
    command += environment + (environment.empty() ? "" : " ") + shellQuoted(VARNELVST_TOOL);
    for (const std::string& argument : arguments)
        command += " " + shellQuoted(argument);
    command +=
        " >" + shellQuoted(streams.file("out")) + " 2>" + shellQuoted(streams.file("err")) + " </dev/null";

    ToolRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = contentsOf(streams.file("out"));
    run.err = contentsOf(streams.file("err"));
    return run;
}

Sound makeSignal(int channels, std::size_t frames, int sampleRate, int format) {
    Sound sound{sampleRate, channels, format,
                std::vector<float>(frames * static_cast<std::size_t>(channels))};
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / sampleRate;
        const double envelope = 0.8 * std::exp(-3.0 * t) + 0.05;
        for (int channel = 0; channel < channels; ++channel) {
            const double pitch = 220.0 * (1.0 + 0.5 * channel);
            sound.samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] =
                static_cast<float>(envelope * std::sin(2.0 * M_PI * pitch * t + channel));
        }
    }
    return sound;
}

} // namespace tooltest
