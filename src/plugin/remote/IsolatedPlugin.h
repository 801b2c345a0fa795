#pragma once

#include "VSTIsolation.h"
#include "plugin/HostedPlugin.h"

#include <memory>
#include <string>

namespace varnel::extensions::vst {

class ParameterSlots;

/// A HostedPlugin that will run its plug-in in a helper process of its own, held
/// to `limits`; null, with the reason in `reason`, where this system offers none.
std::unique_ptr<HostedPlugin> makeIsolatedPlugin(PluginLink& link, ParameterSlots& edits,
                                                 const VSTIsolation& limits, std::string& reason);

} // namespace varnel::extensions::vst
