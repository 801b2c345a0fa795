#pragma once

#include "VSTEditorSize.h"

#include <cstdint>

namespace varnel::extensions::vst {

/// Something the plug-in did on its own, as VSTModule reports it on the plug-in
/// thread (see VSTModule::setEventListener; VSTProcessorNode turns each into a
/// framework event).
struct VSTPluginEvent {
    /// What happened.
    enum class Kind {
        /// The plug-in changed a parameter itself: an edit in its editor, a
        /// program it loaded, a value its processor reported (meters included).
        /// The new value already reached both sides of the plug-in.
        parameterChanged,
        /// The plug-in's latency changed and the host carried the change out.
        latencyChanged,
        /// The plug-in asked to be restarted and the host carried it out.
        restarted,
        /// The plug-in's open editor took a new size (it asked for one, or took
        /// its content scale); the application resizes the parent window to it.
        editorResized,
        /// The process the plug-in ran in ended (a crash, an exit, or killed) or
        /// the plug-in hung and its process was ended; only for a plug-in isolated
        /// in a process of its own (VSTIsolation). Blocks pass through dry from
        /// now on and control calls fail with the reason (VSTModule::getLastError)
        /// until VSTModule::reloadPlugin.
        pluginCrashed,
    };
    /// How the plug-in's process ended.
    enum class Ending {
        signal, ///< a signal ended it (a crash: SIGSEGV, SIGABRT; or SIGKILL from outside)
        exit,   ///< it exited on its own (the plug-in called exit)
        hang,   ///< the plug-in did not answer in time, and the host ended its process
    };

    Kind kind = Kind::parameterChanged; ///< what happened
    std::uint32_t parameterId = 0;      ///< parameterChanged: the parameter's id
    double value = 0.0;                 ///< parameterChanged: its new normalised value
    bool readOnly = false;              ///< parameterChanged: the parameter is an output (a meter)
    std::uint32_t latencySamples = 0;   ///< latencyChanged: the latency now in force
    std::int32_t restartFlags = 0;      ///< restarted: the VST 3 RestartFlags carried out
    VSTEditorSize editorSize{};         ///< editorResized: the editor's new size
    Ending ending = Ending::signal;     ///< pluginCrashed: how the process ended
    int endingCode = 0;                 ///< pluginCrashed: the signal's number, or the exit status
};

} // namespace varnel::extensions::vst
