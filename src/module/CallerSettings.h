#pragma once

#include "VSTAutomation.h"
#include "VSTIsolation.h"
#include "VSTNamedParameter.h"
#include "VSTPluginEvent.h"
#include "plugin/HostedPlugin.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

/// What the caller of a VSTModule set; kept on the plug-in thread, and carried
/// into every set-up and load.
struct CallerSettings {
    /// The set-up the caller asked for, the largest block being the caller's (see
    /// pluginSetup for fixed blocks): before a load the one the load asks for,
    /// 48000 Hz until the graph says otherwise; after that the last one accepted.
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024, 48000.0};
    /// Where the plug-in returns after a new set-up: processing, or active while the
    /// caller has switched processing off.
    LifecycleState runningState = LifecycleState::processing;
    /// Parameters by title, with the names the caller gave their steps.
    std::unordered_map<std::string, VSTNamedParameter> namedParameters;
    std::function<void(const VSTPluginEvent&)> eventListener;
    /// The envelopes being played, by parameter id.
    std::map<Steinberg::Vst::ParamID, std::vector<VSTAutomationPoint>> envelopes;
    /// Where the plug-in runs; set before the load.
    VSTIsolation isolation;
};

} // namespace varnel::extensions::vst
