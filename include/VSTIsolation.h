#pragma once

namespace varnel::extensions::vst {

/// Where a VSTModule runs its plug-in.
enum class VSTIsolationMode {
    /// In this process (the default): the fastest way, and the plug-in's faults are
    /// the application's. A plug-in that crashes ends the application; one that
    /// never returns from a control call holds the plug-in thread, and with it the
    /// control calls of every other module, for good; one that never returns from
    /// `process` holds the audio thread that called it.
    none,
    /// In a helper process of its own (the program varnel-vst-plugin-host), which
    /// runs the plug-in's UI thread and its audio thread. The module behaves as in
    /// this process: the same calls and results, events, state bytes and audio,
    /// bit for bit. A plug-in that crashes, exits or hangs costs this module only:
    /// its blocks go out dry (the input passed through) and are counted, the
    /// listener hears VSTPluginEvent::Kind::pluginCrashed, control calls fail at
    /// once with the reason (getLastError), and reloadPlugin starts it again.
    /// Each block costs one hand-over to the helper and back (a few microseconds).
    process,
};

/// How a VSTModule runs its plug-in, and the limits it holds an isolated one to.
/// The limits apply only in the `process` mode.
struct VSTIsolation {
    /// In this process (the default) or in a helper process of its own.
    VSTIsolationMode mode = VSTIsolationMode::none;
    /// Longest wait of the audio thread for one block, in microseconds; a block not
    /// back by then goes out dry. 0 (the default): the block's own duration at the
    /// rate in force, at least one millisecond, in the real-time and prefetch
    /// modes; `hangMilliseconds` in the offline mode, where a dry block would spoil
    /// a render.
    int blockBudgetMicroseconds = 0;
    /// How long the plug-in may stay behind its blocks (one block unanswered, or
    /// every block late) before it counts as hung and its process is ended.
    int hangMilliseconds = 1000;
    /// Longest wait for one control call (a load included) before the plug-in
    /// counts as hung and its process is ended.
    int callTimeoutMilliseconds = 10000;
};

} // namespace varnel::extensions::vst
