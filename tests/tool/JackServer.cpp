#include "JackServer.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tooltest {

namespace {

using Clock = std::chrono::steady_clock;

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The test's environment with `extra` in front of it (so that it wins),
// made before fork: another thread may hold the allocator's lock.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> all = extra;
    for (char** entry = environ; *entry != nullptr; ++entry)
        all.emplace_back(*entry);
    return all;
}

// Starts `arguments` with `environment`, its output and errors appended to `log`.
pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::string& log) {
    std::vector<std::string> envStrings = environment;
    std::vector<char*> envp, argv;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = arguments;
    for (std::string& argument : argStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child != 0)
        return child;
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    // Nothing to read: standard input is closed.
    close(STDIN_FILENO);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

// The child's exit code, waiting up to `patience`; -1 if it still runs then.
int waitFor(pid_t child, std::chrono::milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void end(pid_t child) {
    kill(child, SIGTERM);
    if (waitFor(child, std::chrono::seconds(5)) < 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

bool JackServer::installed() {
    std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(path, folder, ':');) {
        if (access((folder + "/jackd").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

JackServer::JackServer(unsigned periodFrames) {
    static int serversMade = 0;
    serverName = "varnelvst-test-" + std::to_string(getpid()) + "-" + std::to_string(++serversMade);
    // -R: in real time where the system allows it, as on a musician's machine;
    // jackd goes on without where it does not.
    server = spawn(
        {"jackd", "-R", "-n", serverName, "-d", "dummy", "-r", "48000", "-p", std::to_string(periodFrames)},
        environmentWith({"HOME=" + folder.file("")}), folder.file("jackd.log"));
    // jack_wait -w returns once a client can connect.
    const pid_t wait = spawn({"jack_wait", "-w", "-t", "10"}, environmentWith(environmentList()),
                             folder.file("jack_wait.log"));
    if (server <= 0 || waitFor(wait, std::chrono::seconds(15)) != 0)
        reason = "jackd did not start: " + log() + readAll(folder.file("jack_wait.log"));
}

JackServer::~JackServer() {
    stop();
}

void JackServer::stop() {
    if (server <= 0)
        return;
    // SIGTERM lets the server take its sockets and shared memory away.
    end(server);
    server = -1;
}

std::vector<std::string> JackServer::environmentList() const {
    return {"HOME=" + folder.file(""), "JACK_DEFAULT_SERVER=" + serverName};
}

std::string JackServer::environment() const {
    return "HOME=" + folder.file("") + " JACK_DEFAULT_SERVER=" + serverName;
}

std::string JackServer::log() const {
    return readAll(folder.file("jackd.log"));
}

int JackServer::xrunsBlamedOn(const std::string& client) const {
    return countOf(log(), "client = " + client + " was not finished");
}

bool JackServer::waitForPort(const std::string& port) const {
    const std::string ports = folder.file("ports");
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        std::remove(ports.c_str());
        waitFor(spawn({"jack_lsp"}, environmentWith(environmentList()), ports), std::chrono::seconds(5));
        std::istringstream lines(readAll(ports));
        for (std::string line; std::getline(lines, line);) {
            if (line == port)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

JackRecorder::JackRecorder(const JackServer& server, const std::string& path, int seconds) {
    recorder = spawn({"jack_rec", "-f", path, "-d", std::to_string(seconds), "-b", "32", "system:capture_1",
                      "system:capture_2"},
                     environmentWith(server.environmentList()), path + ".log");
    ready = server.waitForPort("jackrec:input2");
}

JackRecorder::~JackRecorder() {
    if (recorder > 0)
        end(recorder);
}

bool JackRecorder::finish() {
    const int code = waitFor(recorder, std::chrono::seconds(30));
    if (code >= 0)
        recorder = -1;
    return code == 0;
}

} // namespace tooltest
