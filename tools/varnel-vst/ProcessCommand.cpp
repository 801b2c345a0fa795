// `varnel-vst process <plugin> <in> <out>`: a sound file through a plug-in node,
// or a chain of them; with --output-dir, a batch of files (BatchRender).
#include "BatchRender.h"
#include "Commands.h"
#include "FilePlan.h"
#include "FileRender.h"
#include "RenderChain.h"
#include "StandardOutput.h"
#include "Summary.h"
#include "ToolError.h"

#include <iostream>

namespace varnelvst::tool {

int runProcess(const ProcessCommand& command) {
    const std::vector<FileJob> jobs = planFiles(command);
    const std::vector<PluginLocation> plugins = locateChain(command);
    if (!command.outputFolder.empty())
        return runBatch(command, plugins, shardOf(jobs, command.shard));
    NodeChain chain = createChain(command, plugins);
    const RenderSummary summary = renderFile(chain, command, command.input, command.output, true);
    // Standard output may be the sound itself.
    printSummary(command.output == "-" ? std::cerr : toolOutput(), summary);
    return kExitOk;
}

} // namespace varnelvst::tool
