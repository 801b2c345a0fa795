#include "VirtualDisplay.h"

#include "testsupport/ScratchFolder.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tooltest {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);

// Where the programs started here write what they say: the scratch folder of
// the process, not a device.
const std::string& logFolder() {
    static const testsupport::ScratchFolder folder;
    static const std::string path = folder.file("");
    return path;
}

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The line Xvfb writes to -displayfd once it accepts clients; empty on failure.
std::string readDisplayNumber(int fd) {
    std::string number;
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        pollfd polled{fd, POLLIN, 0};
        if (poll(&polled, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            return {};
        if (c == '\n')
            return number;
        number += c;
    }
    return {};
}

// Xvfb leaves on the display connection's errors (a window already gone).
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

VirtualDisplay::VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) {
        reason = "no pipe for Xvfb";
        return;
    }
    const std::string log = logFolder() + "xvfb.log";
    const std::string fd = std::to_string(fds[1]);
    server = fork();
    if (server == 0) {
        close(fds[0]);
        const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        // -noreset: the display keeps its state when the tool, its only other
        // client, disconnects.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    const std::string number = server > 0 ? readDisplayNumber(fds[0]) : std::string();
    close(fds[0]);
    if (number.empty()) {
        reason =
            "Xvfb did not start (is Debian's xvfb installed? scripts/setup.sh installs it): " + readAll(log);
        return;
    }
    displayName = ":" + number;
    XSetErrorHandler(ignoreErrors);
    connection = XOpenDisplay(displayName.c_str());
    if (connection == nullptr)
        reason = "cannot connect to the Xvfb at " + displayName;
}

VirtualDisplay::~VirtualDisplay() {
    if (connection != nullptr)
        XCloseDisplay(connection);
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
}

Window VirtualDisplay::waitForWindow(const std::string& title) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        for (const Window window : childrenOf(DefaultRootWindow(connection))) {
            char* name = nullptr;
            const bool matches =
                XFetchName(connection, window, &name) != 0 && name != nullptr && title == name;
            if (name != nullptr)
                XFree(name);
            XWindowAttributes attributes{};
            if (matches && XGetWindowAttributes(connection, window, &attributes) != 0 &&
                attributes.map_state == IsViewable)
                return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

std::vector<Window> VirtualDisplay::childrenOf(Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(connection, window, &root, &parent, &children, &count) != 0) {
        result.assign(children, children + count);
        if (children != nullptr)
            XFree(children);
    }
    return result;
}

std::pair<int, int> VirtualDisplay::sizeOf(Window window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(connection, window, &attributes) == 0)
        return {0, 0};
    return {attributes.width, attributes.height};
}

void VirtualDisplay::askToClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection, window, False, NoEventMask, &event);
    XSync(connection, False);
}

void VirtualDisplay::destroy(Window window) {
    XDestroyWindow(connection, window);
    XSync(connection, False);
}

bool VirtualDisplay::xdotool(const std::string& arguments) {
    return std::system(("DISPLAY=" + displayName + " xdotool " + arguments).c_str()) == 0;
}

int VirtualDisplay::screenshot(Window window, const std::string& path) {
    const std::string colours = logFolder() + "colours.txt";
    const std::string command = "DISPLAY=" + displayName + " import -window " + std::to_string(window) +
                                " '" + path + "' && identify -format %k '" + path + "' >'" + colours + "'";
    if (std::system(command.c_str()) != 0)
        return 0;
    return std::atoi(readAll(colours).c_str());
}

BackgroundTool::BackgroundTool(const std::vector<std::string>& arguments, const std::string& display,
                               const std::string& outputFolder,
                               const std::vector<std::string>& extraEnvironment)
    : outPath(outputFolder + "/tool.out"), errPath(outputFolder + "/tool.err") {
    // Everything is made before fork: other threads of the test may hold the
    // allocator's lock, which the child would then never get. The extra
    // variables come first, so that they win.
    std::vector<std::string> environment = extraEnvironment;
    std::string leakOptions = "ASAN_OPTIONS=";
    std::string threadOptions = "TSAN_OPTIONS=";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("ASAN_OPTIONS=", 0) == 0)
            leakOptions = variable + ":";
        else if (variable.rfind("TSAN_OPTIONS=", 0) == 0)
            threadOptions = variable + ":";
        else if (variable.rfind("DISPLAY=", 0) != 0)
            environment.push_back(variable);
    }
    if (!display.empty())
        environment.push_back("DISPLAY=" + display);
    // ZamCompX2's editor and Mesa's OpenGL driver leave allocations behind at exit
    // in libraries already unloaded, which the leak checker can neither name nor be
    // told to pass over. The library's own editor code is leak-checked in-process,
    // on the test plug-in's view.
    environment.push_back(leakOptions + "detect_leaks=0");
    // Mesa's own threads, as the suppressions file says.
    environment.push_back(threadOptions + "suppressions=" + VARNELVST_EDIT_TSAN_SUPPRESSIONS);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(VARNELVST_TOOL)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    child = fork();
    if (child != 0)
        return;
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execve(VARNELVST_TOOL, argv.data(), envp.data());
    _exit(127);
}

BackgroundTool::~BackgroundTool() {
    if (child > 0 && waitpid(child, nullptr, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

void BackgroundTool::signal(int number) {
    kill(child, number);
}

int BackgroundTool::waitForExit() {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string BackgroundTool::out() const {
    return readAll(outPath);
}

std::string BackgroundTool::err() const {
    return readAll(errPath);
}

} // namespace tooltest
