#include "CrashGuard.h"

#include "SignalName.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <ostream>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnelvst::tool {

int runReportingErrors(const std::function<int()>& work) {
    try {
        return work();
    } catch (const ToolError& error) {
        toolOutput().flush();
        printError(error.what());
        return error.exitCode();
    } catch (const std::exception& error) {
        toolOutput().flush();
        printError(error.what());
        return kExitFailure;
    }
}

int runGuarded(const std::function<int()>& work, const std::string& who, const std::string& doing,
               const std::string& consequence) {
    toolOutput().flush(); // or the child would write it again
    std::fflush(stderr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        throw failure(std::string("cannot start the render: ") + std::strerror(errno));
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int status = ::getppid() == parent ? runReportingErrors(work) : kExitFailure;
        toolOutput().flush();
        std::fflush(stdout);
        // No exit handlers: they belong to the parent.
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw failure(std::string("lost the render: ") + std::strerror(errno));
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    printError(who + " crashed (" + signalName(WTERMSIG(status)) + ") while " + doing + "; " + consequence);
    return kExitFailure;
}

} // namespace varnelvst::tool
