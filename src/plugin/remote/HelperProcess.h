#pragma once

#include <chrono>
#include <string>

namespace varnel::extensions::vst {

/// How a helper process ended.
struct ProcessEnd {
    bool signalled = false; ///< a signal ended it; else it exited
    int code = 0;           ///< the signal's number, or the exit status
};

/// The program that runs an isolated plug-in: $VARNELVST_PLUGIN_HOST when set,
/// else varnel-vst-plugin-host in the libexec folder beside the program or
/// library this code is part of. Empty, with the places looked at in `error`,
/// when there is none.
std::string findPluginHostProgram(std::string& error);

/// One helper process: started with the two descriptors it needs (the control
/// socket as its descriptor 3, the shared block memory as 4) and no other,
/// standard output going where the host's standard error goes, ending with the
/// host (a parent-death signal, and the end of its control channel), and
/// always reaped. The thread that starts it must live as long as it (the
/// parent-death signal follows that thread): the plug-in thread does.
class HelperProcess {
public:
    HelperProcess() = default;
    /// Ends the process if it still runs, and reaps it.
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    /// Starts `program`; false, with the reason in `error`, when it cannot.
    bool start(const std::string& program, int controlSocket, int blockMemory, std::string& error);
    bool running() const { return processId > 0; }
    /// A descriptor that becomes readable once the process has ended, and stays so
    /// (also once reaped) until `release`; -1 when none was started.
    int endDescriptor() const { return processDescriptor; }
    /// Once reaped: lets go of endDescriptor, which nobody may wait on any more.
    void release() noexcept;
    /// Any thread. Ends the process at once (SIGKILL); it is reaped by awaitEnd.
    void kill() noexcept;
    /// Waits up to `timeout` for the process to end and reaps it; false when it
    /// still runs. One thread at a time.
    bool awaitEnd(std::chrono::milliseconds timeout, ProcessEnd& end);

private:
    int processId = -1;
    int processDescriptor = -1;
};

} // namespace varnel::extensions::vst
