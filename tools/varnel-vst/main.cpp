// varnel-vst: VST 3 effects from the command line, through the VarnelVST library.
#include "CommandLine.h"
#include "Commands.h"
#include "CrashGuard.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <exception>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

} // namespace

int main(int argc, char** argv) {
    using namespace varnelvst::tool;
    claimStandardOutput();
    return runReportingErrors([argc, argv] {
        bool quiet = false;
        const Command command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), quiet);
        if (quiet)
            quietenChatter();
        return std::visit(Overloaded{
                              [](const HelpCommand& help) {
                                  toolOutput() << help.text;
                                  return kExitOk;
                              },
                              [](const PluginsCommand& plugins) { return runPlugins(plugins); },
                              [](const ParamsCommand& params) { return runParams(params); },
                              [](const ProcessCommand& process) { return runProcess(process); },
                              [](const DemoCommand& demo) { return runDemo(demo); },
                              [](const ScanOneCommand& scan) { return runScanOne(scan); },
                              [](const EditCommand& edit) { return runEdit(edit); },
                              [](const PlayCommand& play) { return runPlay(play); },
                          },
                          command);
    });
}
