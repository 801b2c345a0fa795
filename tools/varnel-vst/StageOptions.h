#pragma once

#include "CommandLine.h"

#include <vector>

namespace CLI {
class App;
}

namespace varnelvst::tool {

// The options of one plug-in of a chain, as `process` has them (--set, --preset,
// --save-preset, --class, --then and the rest), read into `stages` in the
// command line's order: each goes to stages.back(), and --then adds a stage.
// `stages` must hold the first plug-in's stage and outlive the parse.
void addChainStageOptions(CLI::App& command, std::vector<ChainStage>& stages);

// How a plug-in argument is looked up, for the commands' help.
extern const char* const kPluginArgumentHelp;

} // namespace varnelvst::tool
