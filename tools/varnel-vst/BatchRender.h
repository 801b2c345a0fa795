#pragma once

#include "CommandLine.h"
#include "PluginFolders.h"

#include <vector>

namespace varnelvst::tool {

// `process --output-dir`: the command's input files (its shard of them) into
// the folder, --jobs at a time, each worker with its own chain of nodes. Every file's
// success or failure is reported; a failed file leaves nothing behind. Returns
// kExitFailure when any file failed. Throws a ToolError when the batch cannot
// start (the plug-in does not load, two inputs would share an output name).
int runBatch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins);

} // namespace varnelvst::tool
