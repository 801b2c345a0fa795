#pragma once

#include "CommandLine.h"

#include <VSTProcessorNode.h>

#include <vector>

namespace varnelvst::tool {

// Applies the command line's parameter settings to the node, in order, through
// the node's parameter operations. Throws a ToolError for a title or id the
// plug-in does not have, and for value names that do not fit a stepped
// parameter's steps, and for a plain value or text the plug-in does not take;
// warns when a setting targets a read-only parameter. Plain values and texts
// are converted by the plug-in itself, through the node.
void applyParameterSettings(varnel::extensions::vst::VSTProcessorNode& node,
                            const std::vector<ParameterSetting>& settings);

} // namespace varnelvst::tool
