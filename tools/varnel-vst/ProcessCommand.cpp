// `varnel-vst process <plugin> <in> <out>`: a sound file through a plug-in node,
// or a chain of them; with --output-dir, a batch of files (BatchRender).
#include "BatchRender.h"
#include "Commands.h"
#include "CrashGuard.h"
#include "FilePlan.h"
#include "FileRender.h"
#include "RenderChain.h"
#include "StandardOutput.h"
#include "Summary.h"
#include "TextTable.h"
#include "ToolError.h"

#include <iostream>

#include <sys/stat.h>

namespace varnelvst::tool {

namespace {

// Whether the output is a file that is replaced whole (none yet, or a regular
// one), not a stream written into.
bool isRegularOrNew(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode);
}

} // namespace

int runProcess(const ProcessCommand& command) {
    const std::vector<FileJob> jobs = planFiles(command);
    const std::vector<PluginLocation> plugins = locateChain(command);
    if (!command.outputFolder.empty())
        return runBatch(command, plugins, shardOf(jobs, command.shard));
    const auto render = [&] {
        NodeChain chain = createChain(command, plugins);
        const RenderSummary summary = renderFile(chain, command, command.input, command.output, true);
        // Standard output may be the sound itself.
        printSummary(command.output == "-" ? std::cerr : toolOutput(), summary);
        return kExitOk;
    };
    // A plug-in that crashes takes the child down, as it would a batch's worker.
    std::vector<std::string> names;
    for (const PluginLocation& plugin : plugins)
        names.push_back(plugin.argument);
    const std::string who = names.size() == 1 ? names.front() : "the chain (" + joined(names, ", ") + ")";
    const bool stream = command.output == "-" || !isRegularOrNew(command.output);
    return runGuarded(render, who, "rendering " + command.input,
                      stream ? "what reached " + command.output + " is incomplete"
                             : command.output + " was not written");
}

} // namespace varnelvst::tool
