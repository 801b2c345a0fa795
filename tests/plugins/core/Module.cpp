#include "Module.h"

#include "PluginConfig.h"
#include "Recorder.h"
#include "TestFactory.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace testplugin {
namespace {

std::atomic<bool> entered{false};
std::atomic<bool> exited{false};
const std::string moduleObject = "module";

} // namespace

// A helper program that outlives ModuleEntry; only where a test asks for one and
// names the file its process id goes to.
void startHelper() {
#ifndef _WIN32
    const char* pidFile = std::getenv("VARNELVST_TEST_HELPER_PID_FILE");
    if (pidFile == nullptr)
        return;
    const pid_t helper = ::fork();
    if (helper == 0) {
        ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (std::FILE* file = std::fopen(pidFile, "w")) {
        std::fprintf(file, "%d\n", static_cast<int>(helper));
        std::fclose(file);
    }
#endif
}

bool enterModule(void* sharedLibraryHandle) {
    RecordedCall call("module", "ModuleEntry",
                      sharedLibraryHandle != nullptr ? "handle=non-null" : "handle=null", moduleObject);
    if (call.onForeignThread())
        return call.done(false) != 0;
    if (entered.exchange(true))
        call.violation("called again without ModuleExit");
    exited = false;
    if (kPluginConfig.printsToStandardOutput) {
        std::printf("%s: module entered\n", kPluginConfig.name);
        std::fflush(stdout);
        // JUCE plug-ins print through std::cout as well.
        std::cout << kPluginConfig.name << ": hello from std::cout" << std::endl;
    }
    if (kPluginConfig.startsHelperAtEntry)
        startHelper();
    return call.done(true) != 0;
}

bool exitModule() {
    RecordedCall call("module", "ModuleExit", "", moduleObject);
    if (call.onForeignThread())
        return call.done(false) != 0;
    if (!entered.exchange(false))
        call.violation("without ModuleEntry");
    const int live = Recorder::instance().liveObjects();
    if (live > 0)
        call.violation("while " + std::to_string(live) +
                       " plug-in object(s) are still alive: " + Recorder::instance().describeLiveObjects());
    exited = true;
    return call.done(true) != 0;
}

void commitFault(Fault fault) {
    switch (fault) {
    case Fault::none:
        return;
    case Fault::crash:
        std::raise(SIGSEGV);
        break;
    case Fault::abort:
        std::abort();
    case Fault::kill:
#ifdef SIGKILL
        std::raise(SIGKILL);
#endif
        std::abort(); // where there is no SIGKILL
    case Fault::exit:
        std::exit(0);
    case Fault::hang:
        break;
    }
    while (true)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

Steinberg::IPluginFactory* createFactory() {
    commitFault(kPluginConfig.factoryFault);
    if (kPluginConfig.printsAtLoad) {
        std::printf("%s: factory ready\n", kPluginConfig.name);
        std::fflush(stdout);
    }
    RecordedCall call("module", "GetPluginFactory", "", moduleObject);
    if (call.onForeignThread()) {
        call.done(0);
        return nullptr;
    }
    if (!entered)
        call.violation(exited ? "after ModuleExit" : "before ModuleEntry");
    // Real plug-ins crash here without ModuleEntry; this one records and carries on.
    auto* factory = new TestFactory;
    call.setArguments("-> " + factory->name());
    call.done(0);
    return factory;
}

bool moduleEntered() {
    return entered;
}

} // namespace testplugin
