#include "EditorWindow.h"

#include "ToolError.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTEditorSize;

namespace {

std::atomic<bool> errorReported{false};

// Xlib's handler is one for the whole process, so this one also hears the
// plug-in's own connection. Without a window manager X answers requests for its
// atoms with errors that Xlib's default handler would end the process for.
int reportXError(Display* display, XErrorEvent* error) {
    if (!errorReported.exchange(true)) {
        char text[256] = {};
        XGetErrorText(display, error->error_code, text, sizeof text);
        printNote(std::string("the X server reported an error (") + text + ", request " +
                  std::to_string(error->request_code) + "); going on");
    }
    return 0;
}

} // namespace

struct EditorWindow::Connection {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
    bool destroyed = false;
    VSTEditorSize size{};
};

EditorWindow::EditorWindow() {
    const char* name = std::getenv("DISPLAY");
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw failure(std::string("cannot open the X display") +
                      (name != nullptr && *name != '\0' ? std::string(" ") + name
                                                        : std::string(": DISPLAY is not set")) +
                      "; the editor needs a desktop");
    XSetErrorHandler(reportXError);
    connection = new Connection{display};
}

EditorWindow::~EditorWindow() {
    if (connection->window != 0 && !connection->destroyed)
        XDestroyWindow(connection->display, connection->window);
    XCloseDisplay(connection->display);
    delete connection;
}

void EditorWindow::create(const std::string& title, VSTEditorSize size) {
    Connection& c = *connection;
    const int screen = DefaultScreen(c.display);
    c.size = size;
    c.window = XCreateSimpleWindow(c.display, RootWindow(c.display, screen), 0, 0,
                                   static_cast<unsigned>(std::max(size.width, 1)),
                                   static_cast<unsigned>(std::max(size.height, 1)), 0,
                                   BlackPixel(c.display, screen), BlackPixel(c.display, screen));
    XStoreName(c.display, c.window, title.c_str());
    const Atom utf8 = XInternAtom(c.display, "UTF8_STRING", False);
    XChangeProperty(c.display, c.window, XInternAtom(c.display, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XClassHint classHint{const_cast<char*>("varnel-vst"), const_cast<char*>("varnel-vst")};
    XSetClassHint(c.display, c.window, &classHint);
    c.deleteWindow = XInternAtom(c.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(c.display, c.window, &c.deleteWindow, 1);
    XSelectInput(c.display, c.window, StructureNotifyMask);
    XFlush(c.display);
}

void* EditorWindow::parentHandle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(connection->window));
}

void EditorWindow::fit(VSTEditorSize size) {
    Connection& c = *connection;
    if (c.destroyed || size.width <= 0 || size.height <= 0)
        return;
    c.size = size;
    XSizeHints hints{};
    hints.flags = PSize | PMinSize;
    hints.width = hints.min_width = size.width;
    hints.height = hints.min_height = size.height;
    XSetWMNormalHints(c.display, c.window, &hints);
    XResizeWindow(c.display, c.window, static_cast<unsigned>(size.width), static_cast<unsigned>(size.height));
    XFlush(c.display);
}

void EditorWindow::show() {
    XMapRaised(connection->display, connection->window);
    XFlush(connection->display);
}

EditorWindow::Happenings EditorWindow::takeEvents() {
    Connection& c = *connection;
    Happenings happenings;
    while (XPending(c.display) > 0) {
        XEvent event;
        XNextEvent(c.display, &event);
        if (event.xany.window != c.window)
            continue;
        switch (event.type) {
        case ClientMessage:
            if (static_cast<Atom>(event.xclient.data.l[0]) == c.deleteWindow)
                happenings.closeAsked = true;
            break;
        case DestroyNotify:
            c.destroyed = true;
            happenings.destroyed = true;
            break;
        case ConfigureNotify: {
            const VSTEditorSize size{event.xconfigure.width, event.xconfigure.height};
            if (size != c.size)
                happenings.resizedTo = size;
            break;
        }
        default:
            break;
        }
    }
    return happenings;
}

} // namespace varnelvst::tool
