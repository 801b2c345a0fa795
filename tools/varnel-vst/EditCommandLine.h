#pragma once

#include "CommandLine.h"

#include <CLI/CLI.hpp>

namespace varnelvst::tool {

// The options of `edit` and their help.
void addEditOptions(CLI::App& editApp, EditCommand& edit);
extern const char* const kEditFooter;

} // namespace varnelvst::tool
