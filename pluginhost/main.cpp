// varnel-vst-plugin-host: runs one plug-in for a host that isolates it (see
// VSTIsolation), so that whatever the plug-in does to its process costs the host
// one plug-in. Started by the library only: descriptor 3 is its control channel,
// descriptor 4 the block memory it shares with the host, and `--parent PID` names
// the host, with which it ends.
#include "VSTPluginThread.h"
#include "plugin/remote/PluginServer.h"

#include <atomic>
#include <thread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

// A plug-in's crash ends this process with the plug-in's own signal, which the
// host reports: a sanitizer build's handlers must not turn it into a report and
// an exit status.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}
#include <sanitizer/lsan_interface.h>
#endif
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}
#endif

using varnel::extensions::vst::PluginServer;
using varnel::extensions::vst::SharedBlock;
using varnel::extensions::vst::VSTPluginThread;

namespace {

constexpr int kControlDescriptor = 3;
constexpr int kBlockMemoryDescriptor = 4;

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--parent") != 0) {
        std::fprintf(stderr,
                     "varnel-vst-plugin-host runs plug-ins for the VarnelVST library, which starts it.\n");
        return 2;
    }
    // Ends with the host even when the host cannot say goodbye (SIGKILL). A host
    // that ended before this took hold is no longer the parent.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (std::to_string(getppid()) != argv[2])
        return 3;
    // A plug-in that writes to a host gone away must not end this process with
    // SIGPIPE before the parent-death signal does; the channel's writes never
    // raise it anyway.
    std::signal(SIGPIPE, SIG_IGN);
#if defined(__SANITIZE_ADDRESS__)
    // Likewise a plug-in that calls exit: its status, not a report of the objects
    // it left behind. The check made now finds nothing and is the only one.
    __lsan_do_leak_check();
#endif

    void* mapped =
        mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, kBlockMemoryDescriptor, 0);
    close(kBlockMemoryDescriptor);
    if (mapped == MAP_FAILED) {
        std::perror("varnel-vst-plugin-host: block memory");
        return 4;
    }
    // This thread is the plug-in's UI thread: a plug-in that calls exit from a
    // control call ends the process with its status (a thread of the library's
    // own would wait for itself at exit), and an editor's run loop is served here.
    VSTPluginThread::adoptCurrentThread();
    PluginServer server(kControlDescriptor, *static_cast<SharedBlock*>(mapped));
    std::atomic<bool> closed{false};
    std::thread reader([&] {
        server.run();
        closed.store(true);
    });
    while (!closed.load())
        VSTPluginThread::runPendingCalls(50);
    reader.join();
    // The host closed the channel after the plug-in was unloaded (or went away):
    // nothing is left to tear down that a plug-in's static destructors should
    // get a chance to crash in.
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}
