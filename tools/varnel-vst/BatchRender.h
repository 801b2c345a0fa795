#pragma once

#include "CommandLine.h"
#include "FilePlan.h"
#include "PluginFolders.h"

#include <vector>

namespace varnelvst::tool {

// `process --output-dir`: the jobs (the command's shard of its files) into the
// folder, by --jobs worker processes at a time. Each file gets plug-ins in the
// state a `process` run of it alone gives them (fresh instances of the modules
// the worker loaded), so every result equals its own run. Every file's success
// or failure is reported, a plug-in that crashes included: its worker's file
// fails, leaving nothing behind, and a new worker takes the files still to do.
// Returns kExitFailure when any file failed. Throws a ToolError when the batch
// cannot start (the plug-in does not load, or refuses a setting: reported once, by
// the first worker, with the exit status a single file would have).
int runBatch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
             const std::vector<FileJob>& jobs);

} // namespace varnelvst::tool
