#pragma once

namespace varnel::extensions::vst {

/// The one thread on which every plug-in of the process is called for everything
/// but audio.
///
/// VST 3 expects a plug-in's set-up, state, activation and edit-controller calls on
/// one thread, the host's UI (main) thread, and many plug-ins rely on it. So every
/// control call of VSTModule and VSTProcessorNode, from whichever thread the
/// application makes it, is carried to this thread and waits there for its result;
/// the plug-in's own calls back into the host (its edits, restart requests) are
/// handled there too, and the node's events are emitted there. An open editor is
/// called there as well, and on Linux it works from the thread's run loop: the
/// timers and file descriptors it registers (VST 3's IRunLoop) are served
/// between the calls. Only VSTModule::process runs on the caller's (audio) thread.
///
/// By default the library starts a thread of its own on first use. An application
/// whose UI toolkit wants plug-in windows on its own main thread hands that thread
/// over instead:
///
///     // on the application's main thread, before any plug-in is loaded:
///     VSTPluginThread::adoptCurrentThread();
///     // then, from the main loop (a timer of 10 ms or less, or idle time):
///     VSTPluginThread::runPendingCalls(0);
///
/// Control calls made on the adopted thread run at once; calls from other threads
/// wait until it next runs pending calls, so it must keep doing so while any
/// other thread may make control calls.
class VSTPluginThread {
public:
    /// Any thread, before the first plug-in call of the process. Makes the calling
    /// thread the plug-in thread for the rest of the process; false (changing
    /// nothing) once the library's own thread has started or another thread was
    /// adopted.
    static bool adoptCurrentThread();

    /// The adopted thread only. Runs the calls waiting for the plug-in thread, the
    /// handlers of the file descriptors editors watch that are readable, and the
    /// timers that are due; when nothing was to run, waits up to
    /// `maxWaitMilliseconds` for one of these. Does nothing on any other thread.
    static void runPendingCalls(int maxWaitMilliseconds = 0);

    /// Any thread; never blocks. Whether the calling thread is the plug-in thread.
    static bool isPluginThread();
};

} // namespace varnel::extensions::vst
