#include "BundleScan.h"

#include "Chatter.h"
#include "JsonOutput.h"
#include "SignalName.h"
#include "ToolError.h"

#include <VSTModule.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace varnelvst::tool {

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTPluginClassInfo;

namespace {

using Clock = std::chrono::steady_clock;

std::string secondsText(std::chrono::milliseconds limit) {
    const double seconds = static_cast<double>(limit.count()) / 1000.0;
    char text[32];
    std::snprintf(text, sizeof text, seconds == std::floor(seconds) ? "%.0f" : "%.3g", seconds);
    return text;
}

enum class Reading { answered, closed, timedOut };

// The child's first complete answer (one line), read until it is complete, the
// child's end closes without one, or the time is up. A helper program the plug-in
// started may hold the pipe open long after: the answer does not wait for it.
Reading readAnswer(int descriptor, Clock::time_point deadline, std::string& answer) {
    std::string text;
    char buffer[4096];
    while (true) {
        if (const std::size_t end = text.find('\n'); end != std::string::npos) {
            answer = text.substr(0, end);
            return Reading::answered;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Reading::timedOut;
        pollfd ready{descriptor, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            return Reading::timedOut;
        const ssize_t got = polled < 0 ? -1 : ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Reading::closed; // the exit status tells the rest
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

BundleScan parseAnswer(const std::string& text) {
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        BundleScan scan;
        scan.error = "the scan gave no readable answer";
        return scan;
    }
    return bundleScanFromJson(json);
}

} // namespace

Json bundleScanJson(const BundleScan& scan) {
    Json json{{"classes", Json::array()}, {"error", scan.error}};
    for (const VSTPluginClassInfo& info : scan.classes)
        json["classes"].push_back(classInfoJson(info));
    return json;
}

BundleScan bundleScanFromJson(const Json& json) {
    BundleScan scan;
    scan.error = json.value("error", "");
    for (const Json& entry : json.value("classes", Json::array())) {
        VSTPluginClassInfo info;
        info.name = entry.value("name", "");
        info.vendor = entry.value("vendor", "");
        info.category = entry.value("category", "");
        info.subCategories = entry.value("subCategories", std::vector<std::string>{});
        info.version = entry.value("version", "");
        info.classId = entry.value("classId", "");
        info.isInstrument = entry.value("instrument", false);
        scan.classes.push_back(std::move(info));
    }
    return scan;
}

BundleScan scanInChildProcess(const std::string& bundle, std::chrono::milliseconds limit, bool quiet) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw failure(std::string("cannot scan plug-ins: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    const int discarding = quiet ? openDiscardingDescriptor() : -1;
    if (discarding >= 0)
        posix_spawn_file_actions_adddup2(&actions, discarding, STDERR_FILENO);
    // A process group of its own, so that whatever the plug-in starts ends with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    char program[] = "/proc/self/exe";
    char name[] = "varnel-vst";
    char command[] = "scan-one";
    std::string path = bundle;
    char* arguments[] = {name, command, path.data(), nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, program, &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (discarding >= 0)
        ::close(discarding);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        throw failure(std::string("cannot scan plug-ins: ") + std::strerror(spawned));
    }

    std::string answer;
    const Reading reading = readAnswer(pipeEnds[0], Clock::now() + limit, answer);
    ::close(pipeEnds[0]);
    // The answer is all the scan needs: the child and any helper program it started
    // (a licence daemon, a crash reporter) end here.
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    BundleScan scan;
    if (reading == Reading::answered)
        scan = parseAnswer(answer);
    else if (reading == Reading::timedOut)
        scan.error = "timed out after " + secondsText(limit) + " s";
    else if (WIFSIGNALED(status))
        scan.error = "crashed: " + signalName(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != kExitOk)
        scan.error = "the scan failed with exit status " + std::to_string(WEXITSTATUS(status));
    else
        scan.error = "the scan gave no readable answer";
    return scan;
}

std::string describeBundleAsJson(const std::string& bundle) {
    BundleScan scan;
    scan.classes = VSTModule::listPluginClasses(bundle, scan.error);
    return bundleScanJson(scan).dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace varnelvst::tool
