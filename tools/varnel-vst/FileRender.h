#pragma once

#include "CommandLine.h"
#include "PluginFolders.h"
#include "Summary.h"

#include <VSTProcessorNode.h>

#include <string>

namespace varnelvst::tool {

// One sound file through `node`, as a unit and all or nothing: the node is set
// up for the file's rate, its state is reset, the command's parameter settings
// are applied, and the output is committed only when every block reached the
// plug-in and succeeded. Works on a node that rendered other files before,
// which is how a batch worker uses its one node. Throws a ToolError; notes and
// warnings name the file.
RenderSummary renderFile(varnel::extensions::vst::VSTProcessorNode& node, const PluginLocation& plugin,
                         const ProcessCommand& command, const std::string& input, const std::string& output,
                         bool showProgress);

} // namespace varnelvst::tool
