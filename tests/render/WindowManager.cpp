#include "tests/render/WindowManager.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace rendertest {

namespace {

pid_t gManager = -1;

void stopManager() {
    if (gManager > 0) {
        ::kill(gManager, SIGTERM);
        ::waitpid(gManager, nullptr, 0);
        gManager = -1;
    }
}

// A window manager announces itself with a check window named on the root window.
bool managerRunning(Display* display) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &count, &after, &data) == Success &&
                       type == XA_WINDOW && count == 1;
    if (data) XFree(data);
    return found;
}

// Openbox names its check window before its event loop runs, and a window mapped in between is
// never managed; a probe window mapped again until it shows tells that the manager is serving.
bool managerServes(Display* display) {
    const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);
    bool shown = false;
    for (int attempt = 0; attempt < 40 && !shown; ++attempt) {
        XMapWindow(display, probe);
        XSync(display, False);
        for (int i = 0; i < 10 && !shown; ++i) {
            XWindowAttributes attributes{};
            shown = XGetWindowAttributes(display, probe, &attributes) && attributes.map_state == IsViewable;
            if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (!shown) {
            XUnmapWindow(display, probe);
            XSync(display, False);
        }
    }
    XDestroyWindow(display, probe);
    XSync(display, False);
    return shown;
}

bool startOpenbox(Display* display, std::string* why) {
    const char* openbox = "/usr/bin/openbox";
    if (::access(openbox, X_OK) != 0) {
        *why = "openbox is not installed";
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        *why = "could not start openbox";
        return false;
    }
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        ::execl(openbox, openbox, "--sm-disable", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
        if (managerRunning(display)) {
            gManager = pid;
            std::atexit(stopManager);
            if (managerServes(display)) return true;
            *why = "openbox does not manage windows";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    *why = "openbox did not take the display";
    return false;
}

// The tests' own connection for input; never closed.
Display* inputDisplay() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

} // namespace

bool ensureWindowManager(std::string* why) {
    static std::string reason;
    static const bool ok = [] {
        Display* display = inputDisplay();
        if (!display) {
            reason = "the display cannot be opened";
            return false;
        }
        return managerRunning(display) || startOpenbox(display, &reason);
    }();
    if (why) *why = reason;
    return ok;
}

bool clickAt(int x, int y) {
    Display* display = inputDisplay();
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor)) return false;
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    return true;
}

OtherClientWindow::OtherClientWindow(int x, int y, int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    display_ = display;
    const int screen = DefaultScreen(display);
    window_ = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                  WhitePixel(display, screen));
    // Placed where asked, and willing to take the keyboard.
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = width;
    size.height = height;
    XSetWMNormalHints(display, window_, &size);
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = True;
    XSetWMHints(display, window_, &hints);
    XStoreName(display, window_, "another program");
    XMapWindow(display, window_);
    XSync(display, False);
}

OtherClientWindow::~OtherClientWindow() {
    auto* display = static_cast<Display*>(display_);
    if (!display) return;
    XDestroyWindow(display, window_);
    XCloseDisplay(display);
}

bool OtherClientWindow::waitUntilViewable() {
    auto* display = static_cast<Display*>(display_);
    if (!display) return false;
    for (int i = 0; i < 400; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window_, &attributes) && attributes.map_state == IsViewable)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

bool OtherClientWindow::centre(int* x, int* y) const {
    auto* display = static_cast<Display*>(display_);
    if (!display) return false;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window_, &attributes)) return false;
    Window child = 0;
    return XTranslateCoordinates(display, window_, DefaultRootWindow(display), attributes.width / 2,
                                 attributes.height / 2, x, y, &child);
}

} // namespace rendertest
