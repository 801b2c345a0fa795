// Starting, watching and reaping the helper process of an isolated plug-in.
#include "plugin/remote/HelperProcess.h"

#if defined(__linux__)

#include "VSTModule.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/auxv.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace varnel::extensions::vst {

namespace {

constexpr const char* kProgramName = "varnel-vst-plugin-host";

bool isExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

/// The folder of the program or shared library this code was linked into: the
/// helper is installed relative to it, wherever the whole was installed.
std::string ownFolder() {
    Dl_info own{};
    if (dladdr(reinterpret_cast<void*>(&findPluginHostProgram), &own) == 0 || own.dli_fname == nullptr)
        return {};
    // Inside the program itself (a static library) the loader may know it only by
    // the name it was started with; the kernel knows its real path.
    Dl_info program{};
    const auto programHeaders = reinterpret_cast<void*>(getauxval(AT_PHDR));
    std::string path = own.dli_fname;
    if (programHeaders != nullptr && dladdr(programHeaders, &program) != 0 &&
        program.dli_fbase == own.dli_fbase)
        path = "/proc/self/exe";
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return {};
    const std::string full = resolved;
    return full.substr(0, full.find_last_of('/'));
}

} // namespace

std::string findPluginHostProgram(std::string& error) {
    if (const char* named = std::getenv(VSTModule::kPluginHostVariable); named != nullptr && *named != '\0') {
        if (isExecutable(named))
            return named;
        error =
            std::string(VSTModule::kPluginHostVariable) + " names " + named + ", which is no program to run.";
        return {};
    }
    const std::string folder = ownFolder();
    // Relative to a program in bin/ and to a shared library in lib/ (set by the
    // build from the install folders), then beside it.
    const std::vector<std::string> candidates{
        folder + "/" VARNELVST_PLUGIN_HOST_FROM_BINDIR "/" + kProgramName,
        folder + "/" VARNELVST_PLUGIN_HOST_FROM_LIBDIR "/" + kProgramName,
        folder + "/" + kProgramName,
    };
    for (const std::string& candidate : candidates) {
        if (!folder.empty() && isExecutable(candidate))
            return candidate;
    }
    error = std::string("The plug-in host program ") + kProgramName + " was not found (looked in " +
            (folder.empty() ? std::string("no folder") : candidates[0] + " and " + candidates[1]) + "; " +
            VSTModule::kPluginHostVariable + " may name it).";
    return {};
}

HelperProcess::~HelperProcess() {
    if (running()) {
        kill();
        ProcessEnd end;
        awaitEnd(std::chrono::seconds(10), end);
    }
    release();
}

void HelperProcess::release() noexcept {
    if (processDescriptor >= 0)
        close(processDescriptor);
    processDescriptor = -1;
}

bool HelperProcess::start(const std::string& program, int controlSocket, int blockMemory,
                          std::string& error) {
    // Moved above the numbers they get in the helper first, so that placing one
    // never overwrites the other.
    const int control = fcntl(controlSocket, F_DUPFD_CLOEXEC, 10);
    const int memory = fcntl(blockMemory, F_DUPFD_CLOEXEC, 10);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // No input; its output goes where the host's diagnostics go, never into what
    // the host writes to its own standard output.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    posix_spawn_file_actions_adddup2(&actions, control, 3);
    posix_spawn_file_actions_adddup2(&actions, memory, 4);
    // Nothing else of the host's: not its files, sockets or other helpers' memory.
    posix_spawn_file_actions_addclosefrom_np(&actions, 5);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string parent = std::to_string(getpid());
    std::vector<char*> arguments{const_cast<char*>(program.c_str()), const_cast<char*>("--parent"),
                                 const_cast<char*>(parent.c_str()), nullptr};
    pid_t child = -1;
    const int failure = control < 0 || memory < 0 ? errno
                                                  : posix_spawn(&child, program.c_str(), &actions,
                                                                &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (control >= 0)
        close(control);
    if (memory >= 0)
        close(memory);
    if (failure != 0) {
        error = "Could not start the plug-in host program " + program + ": " + std::strerror(failure);
        return false;
    }
    processId = child;
    // Not reaped until awaitEnd, so the id cannot pass to another process first.
    processDescriptor = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    return true;
}

void HelperProcess::kill() noexcept {
    if (!running())
        return;
    if (processDescriptor >= 0)
        syscall(SYS_pidfd_send_signal, processDescriptor, SIGKILL, nullptr, 0);
    else if (processId > 0)
        ::kill(processId, SIGKILL);
}

bool HelperProcess::awaitEnd(std::chrono::milliseconds timeout, ProcessEnd& end) {
    if (!running())
        return true;
    if (processDescriptor >= 0) {
        pollfd ended{processDescriptor, POLLIN, 0};
        int ready = -1;
        do
            ready = poll(&ended, 1, static_cast<int>(timeout.count()));
        while (ready < 0 && errno == EINTR);
        if (ready == 0)
            return false;
    }
    int status = 0;
    pid_t reaped = -1;
    do
        reaped = waitpid(processId, &status, 0);
    while (reaped < 0 && errno == EINTR);
    // Reaped elsewhere (an application that ignores SIGCHLD): ended, how unknown.
    end = reaped == processId
              ? ProcessEnd{WIFSIGNALED(status), WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status)}
              : ProcessEnd{false, -1};
    processId = -1;
    return true;
}

} // namespace varnel::extensions::vst

#endif
