#include "tests/render/WindowManager.h"

#include "tests/render/XServer.h"
#include "tests/support/Process.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rendertest {

namespace {

void pause(int millis) {
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
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
            if (!shown) pause(25);
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

// Starts openbox on the display `name` (stopped at exit) and waits until it manages windows.
bool startOpenbox(const std::string& name, std::string* why) {
    const char* openbox = "/usr/bin/openbox";
    if (::access(openbox, X_OK) != 0) {
        *why = "openbox is not installed";
        return false;
    }
    Display* display = XOpenDisplay(name.c_str());
    if (!display) {
        *why = "the display " + name + " cannot be opened";
        return false;
    }
    const pid_t pid = testsupport::startProcess({openbox, "--sm-disable"}, {{"DISPLAY", name}}, {});
    *why = pid < 0 ? "could not start openbox" : "openbox did not take the display";
    bool serving = false;
    for (int i = 0; pid > 0 && i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
        if (managerRunning(display)) {
            stopAtExit(pid);
            serving = managerServes(display);
            if (!serving) *why = "openbox does not manage windows";
            XCloseDisplay(display);
            return serving;
        }
        pause(25);
    }
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    return false;
}

} // namespace

bool ensureWindowManager(std::string* why) {
    static std::string reason;
    static const bool ok = [] {
        const char* name = std::getenv("DISPLAY");
        Display* display = XOpenDisplay(nullptr);
        if (!name || !display) {
            reason = "the display cannot be opened";
            return false;
        }
        const bool running = managerRunning(display);
        XCloseDisplay(display);
        return running || startOpenbox(name, &reason);
    }();
    if (why) *why = reason;
    return ok;
}

std::optional<std::string> windowManagerDisplay(std::string* why) {
    static std::string reason;
    static const std::optional<std::string> name = []() -> std::optional<std::string> {
        std::string display;
        if (!startXvfb(&display, &reason) || !startOpenbox(display, &reason)) return std::nullopt;
        return display;
    }();
    if (why) *why = reason;
    return name;
}

XTestInput::XTestInput(const std::string& display)
    : display_(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {}

XTestInput::~XTestInput() {
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

bool XTestInput::available() const {
    int event = 0, error = 0, major = 0, minor = 0;
    return display_ && XTestQueryExtension(static_cast<Display*>(display_), &event, &error, &major, &minor);
}

void XTestInput::movePointer(int x, int y) {
    XTestFakeMotionEvent(static_cast<Display*>(display_), -1, x, y, CurrentTime);
    XSync(static_cast<Display*>(display_), False);
}

void XTestInput::button(int button, bool press) {
    XTestFakeButtonEvent(static_cast<Display*>(display_), static_cast<unsigned>(button), press ? True : False,
                         CurrentTime);
    XSync(static_cast<Display*>(display_), False);
}

void XTestInput::click(int x, int y, int clicks) {
    movePointer(x, y);
    pause(30);
    for (int i = 0; i < clicks; ++i) {
        button(1, true);
        button(1, false);
        pause(40);
    }
}

void XTestInput::drag(int fromX, int fromY, int toX, int toY, int pressed, bool alt) {
    auto* display = static_cast<Display*>(display_);
    const KeyCode altKey = XKeysymToKeycode(display, XK_Alt_L);
    movePointer(fromX, fromY);
    pause(50);
    if (alt) XTestFakeKeyEvent(display, altKey, True, CurrentTime);
    button(pressed, true);
    pause(50);
    // In steps, as a hand moves: the window manager follows the motion it sees.
    constexpr int kSteps = 10;
    for (int i = 1; i <= kSteps; ++i) {
        movePointer(fromX + (toX - fromX) * i / kSteps, fromY + (toY - fromY) * i / kSteps);
        pause(20);
    }
    pause(50);
    button(pressed, false);
    if (alt) {
        XTestFakeKeyEvent(display, altKey, False, CurrentTime);
        XSync(display, False);
    }
    pause(100);
}

void XTestInput::key(unsigned long keysym, bool control, bool shift) {
    auto* display = static_cast<Display*>(display_);
    const KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode shiftKey = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode code = XKeysymToKeycode(display, keysym);
    if (control) XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
    if (shift) XTestFakeKeyEvent(display, shiftKey, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(display, shiftKey, False, CurrentTime);
    if (control) XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
    XSync(display, False);
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
        pause(25);
    }
    return false;
}

BottomPanel::BottomPanel(int height) : height_(height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    display_ = display;
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int top = DisplayHeight(display, screen) - height;
    window_ = XCreateSimpleWindow(display, RootWindow(display, screen), 0, top, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                  BlackPixel(display, screen));
    const Atom cardinal = XA_CARDINAL;
    // A dock, whose strut is the bottom `height` rows across the whole width.
    const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(display, window_, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&dock), 1);
    long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1};
    XChangeProperty(display, window_, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False), cardinal, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
    XChangeProperty(display, window_, XInternAtom(display, "_NET_WM_STRUT", False), cardinal, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 4);
    // On every desktop, as a panel is.
    const long everyDesktop = 0xFFFFFFFF;
    XChangeProperty(display, window_, XInternAtom(display, "_NET_WM_DESKTOP", False), cardinal, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&everyDesktop), 1);
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = 0;
    size.y = top;
    size.width = width;
    size.height = height;
    XSetWMNormalHints(display, window_, &size);
    XStoreName(display, window_, "a panel");
    XMapWindow(display, window_);
    XSync(display, False);
}

BottomPanel::~BottomPanel() {
    auto* display = static_cast<Display*>(display_);
    if (!display) return;
    XDestroyWindow(display, window_);
    XSync(display, False);
    // The tests after this one expect the whole screen again.
    waitForWorkAreaHeight(DisplayHeight(display, DefaultScreen(display)));
    XCloseDisplay(display);
}

bool BottomPanel::waitUntilReserved() {
    auto* display = static_cast<Display*>(display_);
    return display && waitForWorkAreaHeight(DisplayHeight(display, DefaultScreen(display)) - height_);
}

bool BottomPanel::waitForWorkAreaHeight(int height) {
    auto* display = static_cast<Display*>(display_);
    const Window root = DefaultRootWindow(display);
    auto cardinals = [&](const char* name) {
        std::vector<long> out;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, root, XInternAtom(display, name, False), 0, 1024, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* values = reinterpret_cast<const long*>(data);
            out.assign(values, values + count);
        }
        if (data) XFree(data);
        return out;
    };
    // The current desktop's area, which the windows under test are on.
    for (int i = 0; i < 400; ++i) {
        const auto desktop = cardinals("_NET_CURRENT_DESKTOP");
        const size_t index = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]);
        const auto areas = cardinals("_NET_WORKAREA");
        if (areas.size() >= 4 * (index + 1) && areas[4 * index + 3] == height) return true;
        pause(25);
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
