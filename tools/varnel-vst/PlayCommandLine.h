#pragma once

#include "CommandLine.h"

#include <string>

namespace CLI {
class App;
}

namespace varnelvst::tool {

// What `play` collects while CLI11 reads the command line.
struct PlayArguments {
    PlayCommand command;
    std::string firstPlugin;

    PlayArguments() { command.chain.stages.resize(1); }
    PlayArguments(const PlayArguments&) = delete;
    PlayArguments& operator=(const PlayArguments&) = delete;

    // The command, once its arguments fit together; throws a usage ToolError
    // when they do not.
    PlayCommand finish();
};

CLI::App& addPlayCommand(CLI::App& app, PlayArguments& play);

} // namespace varnelvst::tool
