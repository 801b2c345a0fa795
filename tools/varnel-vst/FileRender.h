#pragma once

#include "CommandLine.h"
#include "RenderChain.h"
#include "Summary.h"

#include <string>

namespace varnelvst::tool {

// One sound file through the chain, as a unit and all or nothing: every node is
// prepared for the file (prepareChain), the plug-ins get whole blocks of the
// command's size (the input padded with silence), the chain's latency is taken
// off the start unless the command keeps it, the tail the command asks for
// follows the input, and the output is committed only when every block reached
// every plug-in and succeeded. Works on a chain that rendered other files
// before, which is how a batch worker uses its own chain. Throws a ToolError;
// notes and warnings name the file.
RenderSummary renderFile(NodeChain& chain, const ProcessCommand& command, const std::string& input,
                         const std::string& output, bool showProgress);

} // namespace varnelvst::tool
