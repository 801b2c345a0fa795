#pragma once

#include "CommandLine.h"
#include "FilePlan.h"
#include "PluginFolders.h"

#include <vector>

namespace varnelvst::tool {

// `process --output-dir`: the jobs (the command's shard of its files) into the
// folder, --jobs at a time, each worker with its own chain of nodes. Every file's
// success or failure is reported; a failed file leaves nothing behind. Returns
// kExitFailure when any file failed. Throws a ToolError when the batch cannot
// start (the plug-in does not load).
int runBatch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
             const std::vector<FileJob>& jobs);

} // namespace varnelvst::tool
