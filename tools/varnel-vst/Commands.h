#pragma once

#include "CommandLine.h"

namespace varnelvst::tool {

// Each command prints its results on standard output and returns the exit code;
// failures leave as ToolError.
int runPlugins(const PluginsCommand& command);
int runParams(const ParamsCommand& command);
int runProcess(const ProcessCommand& command);
int runDemo(const DemoCommand& command);
int runScanOne(const ScanOneCommand& command);
int runEdit(const EditCommand& command);
int runPlay(const PlayCommand& command);

} // namespace varnelvst::tool
