#pragma once

// A headless X display of the test's own (Debian's Xvfb on a free display
// number), varnel-vst run on it in the background, and what a user does to the
// tool's window there: find it, read its size, drag the mouse, take a picture,
// close or destroy it.

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

namespace tooltest {

class VirtualDisplay {
public:
    // Starts Xvfb; started() tells whether it runs, why not in failure().
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool started() const { return connection != nullptr; }
    const std::string& failure() const { return reason; }
    // ":N", for DISPLAY.
    const std::string& name() const { return displayName; }

    // The top-level window titled `title`, waiting up to 10 s; 0 when none came.
    Window waitForWindow(const std::string& title);
    // The window's children, in stacking order.
    std::vector<Window> childrenOf(Window window);
    // Width and height; 0 x 0 for a window that is gone.
    std::pair<int, int> sizeOf(Window window);
    // As the window manager's close button does: WM_DELETE_WINDOW.
    void askToClose(Window window);
    void destroy(Window window);
    // Runs xdotool / ImageMagick's import on this display; true when it succeeded.
    bool xdotool(const std::string& arguments);
    // Writes a PNG of the window to `path`; the number of distinct colours in it
    // (0 when it failed).
    int screenshot(Window window, const std::string& path);

private:
    pid_t server = -1;
    Display* connection = nullptr;
    std::string displayName;
    std::string reason;
};

// varnel-vst running in the background with DISPLAY set, its output in files;
// `environment` ("NAME=VALUE") is added to the test's own.
class BackgroundTool {
public:
    BackgroundTool(const std::vector<std::string>& arguments, const std::string& display,
                   const std::string& outputFolder, const std::vector<std::string>& environment = {});
    ~BackgroundTool(); // kills it if it still runs
    BackgroundTool(const BackgroundTool&) = delete;
    BackgroundTool& operator=(const BackgroundTool&) = delete;

    void signal(int number);
    // The exit code (128 + signal for a signal), waiting up to 10 s; -1 when it
    // still runs then.
    int waitForExit();
    std::string out() const;
    std::string err() const;

private:
    pid_t child = -1;
    std::string outPath, errPath;
};

} // namespace tooltest
