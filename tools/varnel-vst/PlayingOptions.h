#pragma once

#include "CommandLine.h"

#include <VSTProcessorNode.h>

namespace CLI {
class App;
}

namespace varnelvst::tool {

// --tempo, --time-signature and --fixed-block of `process`, read into `target`.
void addPlayingOptions(CLI::App& command, PlayingOptions& target);

// Gives the node the options for a new file: its musical context, played from
// the file's start, and its block size. Throws a ToolError when refused.
void applyPlayingOptions(varnel::extensions::vst::VSTProcessorNode& node, const PlayingOptions& options);

} // namespace varnelvst::tool
