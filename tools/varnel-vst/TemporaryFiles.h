#pragma once

#include <functional>
#include <string>

namespace varnelvst::tool {

// Temporary files removed when a signal ends the tool (SIGINT, SIGTERM, SIGHUP,
// SIGPIPE, and the crashes a plug-in may cause: SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT): the handler unlinks every registered path with async-signal-safe
// calls only, then lets the signal end the process as it would have. Several
// workers may each hold one at a time. Destructors remove them on every other
// way out.
class RegisteredTemporaryFile {
public:
    RegisteredTemporaryFile() = default;
    // Unregisters only; removing the file is its owner's business.
    ~RegisteredTemporaryFile();
    RegisteredTemporaryFile(const RegisteredTemporaryFile&) = delete;
    RegisteredTemporaryFile& operator=(const RegisteredTemporaryFile&) = delete;

    // Registers `path`, replacing what was registered before. A path too long for
    // the handler's fixed slots, or every slot taken, goes unregistered.
    void arm(const std::string& path);
    void release() noexcept;

private:
    int slot = -1; // -1: not registered (no path, or every slot taken)
};

// Tells `observer` the path of every temporary file registered from now on,
// before it is registered. A batch worker tells its parent, which removes the file
// should the worker die without doing so (killed outright, or its memory ruined
// by a plug-in).
void observeTemporaryFiles(std::function<void(const std::string& path)> observer);

} // namespace varnelvst::tool
