#include "plugin/remote/SignalName.h"

#include <csignal>

namespace varnel::extensions::vst {

std::string signalName(int signal) {
    // The signals a crashing or killed plug-in process ends with.
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGTERM:
        return "SIGTERM";
#if defined(SIGKILL)
    case SIGKILL:
        return "SIGKILL";
    case SIGBUS:
        return "SIGBUS";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGPIPE:
        return "SIGPIPE";
    case SIGSYS:
        return "SIGSYS";
#endif
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace varnel::extensions::vst
