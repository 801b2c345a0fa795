#pragma once

// A stereo input file of kProcessFrames frames in a scratch folder, and
// `process` runs of the tool from it into out.wav.

#include "ToolHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tooltest {

// Not a multiple of any block size the tests use, so the last block is a short one.
constexpr std::size_t kProcessFrames = 48000 + 77;

class ProcessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        input = folder.file("in.wav");
        output = folder.file("out.wav");
        source = makeSignal(2, kProcessFrames);
        writeSound(input, source);
    }

    // Runs `process <plugin> in.wav out.wav <options>` with `environment` (see
    // runTool), keeps the run in `run`, and reads the result back.
    Sound process(const std::string& plugin, const std::vector<std::string>& options,
                  const std::string& environment = {}) {
        std::vector<std::string> arguments{"process", plugin, input, output};
        arguments.insert(arguments.end(), options.begin(), options.end());
        run = runTool(arguments, {}, environment);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return readSound(output);
    }

    ScratchFolder folder;
    std::string input;
    std::string output;
    Sound source;
    ToolRun run;
};

} // namespace tooltest
