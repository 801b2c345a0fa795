#pragma once

namespace varnel::extensions::vst {

/// The VST 3 process mode announced to a plug-in by VSTModule::setupProcessing;
/// the values are the VST 3 ones and reach the plug-in unchanged.
enum class VSTProcessingMode : int {
    Realtime = 0, ///< live: each block must be done within its own duration
    Prefetch = 1, ///< ahead of playback, still under a deadline
    Offline = 2,  ///< rendering: no deadline, every block is wanted
};

} // namespace varnel::extensions::vst
