#include "BundleScan.h"

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

// Everything the child writes, until it closes its end or the time is up.
// False when the time ran out.
bool readUntilClosed(int descriptor, Clock::time_point deadline, std::string& text) {
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{descriptor, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return polled < 0; // an error ends the reading; the exit status tells the rest
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

BundleScan parseAnswer(const std::string& text) {
    BundleScan scan;
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        scan.error = "the scan gave no readable answer";
        return scan;
    }
    scan.error = json.value("error", "");
    for (const Json& entry : json.value("classes", Json::array())) {
        VSTPluginClassInfo info;
        info.name = entry.value("name", "");
        info.vendor = entry.value("vendor", "");
        info.category = entry.value("category", "");
        info.subCategories = entry.value("subCategories", std::vector<std::string>{});
        info.version = entry.value("version", "");
        info.classId = entry.value("classId", "");
        scan.classes.push_back(std::move(info));
    }
    return scan;
}

} // namespace

BundleScan scanInChildProcess(const std::string& bundle, std::chrono::milliseconds limit) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw failure(std::string("cannot scan plug-ins: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    char program[] = "/proc/self/exe";
    char name[] = "varnel-vst";
    char command[] = "scan-one";
    std::string path = bundle;
    char* arguments[] = {name, command, path.data(), nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        throw failure(std::string("cannot scan plug-ins: ") + std::strerror(spawned));
    }

    std::string answer;
    const bool finished = readUntilClosed(pipeEnds[0], Clock::now() + limit, answer);
    ::close(pipeEnds[0]);
    if (!finished)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    BundleScan scan;
    if (!finished)
        scan.error = "timed out after " + secondsText(limit) + " s";
    else if (WIFSIGNALED(status))
        scan.error = "crashed: " + signalName(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != kExitOk)
        scan.error = "the scan failed with exit status " + std::to_string(WEXITSTATUS(status));
    else
        scan = parseAnswer(answer);
    return scan;
}

std::string describeBundleAsJson(const std::string& bundle) {
    std::string error;
    Json json{{"classes", Json::array()}};
    for (const VSTPluginClassInfo& info : VSTModule::listPluginClasses(bundle, error))
        json["classes"].push_back(classInfoJson(info));
    json["error"] = error;
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace varnelvst::tool
