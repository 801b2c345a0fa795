// `varnel-vst process <plugin> <in> <out>`: a sound file through a plug-in node;
// with --output-dir, a batch of them (BatchRender).
#include "BatchRender.h"
#include "Commands.h"
#include "FileRender.h"
#include "PluginFolders.h"
#include "PluginLoading.h"
#include "Summary.h"
#include "ToolError.h"

#include <iostream>

namespace varnelvst::tool {

int runProcess(const ProcessCommand& command) {
    const PluginLocation plugin = locatePlugin(command.plugin);
    if (!command.outputFolder.empty())
        return runBatch(command, plugin);
    std::unique_ptr<varnel::extensions::vst::VSTProcessorNode> node = createProcessorNode(plugin);
    const RenderSummary summary = renderFile(*node, plugin, command, command.input, command.output, true);
    // Standard output may be the sound itself.
    printSummary(command.output == "-" ? std::cerr : std::cout, summary);
    return kExitOk;
}

} // namespace varnelvst::tool
