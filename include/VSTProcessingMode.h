#pragma once

namespace varnel::extensions::vst {

/// The VST 3 process mode announced to a plug-in by VSTModule::setupProcessing;
/// the values are the VST 3 ones and reach the plug-in unchanged.
enum class VSTProcessingMode : int {
    Realtime = 0,
    Prefetch = 1,
    Offline = 2,
};

} // namespace varnel::extensions::vst
