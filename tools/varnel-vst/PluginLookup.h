#pragma once

#include "PluginFolders.h"

#include <optional>
#include <string>

namespace varnelvst::tool {

// A plug-in named loosely: the bundle whose name equals `name` but for case,
// else the bundle with an audio effect of that name, exact or but for case (each
// bundle asked in a child process, as `plugins` asks them). A name that fits
// several bundles, or none, gives nothing and `suggestions` says what the user
// may have meant (" (did you mean ...?)", or why the name is ambiguous).
std::optional<PluginLocation> locateByLooseName(const std::string& name, std::string& suggestions);

} // namespace varnelvst::tool
