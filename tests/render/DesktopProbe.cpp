#include "tests/render/DesktopProbe.h"

#include "tests/support/ThreadState.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rendertest {

namespace {

Display* dpy(void* d) {
    return static_cast<Display*>(d);
}

XErrorHandler previousErrorHandler = nullptr;

// The windows a probe asks about belong to other programs and may go away between two requests
// (a sheet closing while the client list is read): such a window reads as having nothing, where
// Xlib's own handler would end the test process. Other errors go to the handler that was there.
int ignoreVanishedWindows(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) return 0;
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

} // namespace

DesktopProbe::DesktopProbe(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    static const bool installed = [] {
        previousErrorHandler = XSetErrorHandler(ignoreVanishedWindows);
        return true;
    }();
    (void)installed;
}

DesktopProbe::~DesktopProbe() {
    if (display_) XCloseDisplay(dpy(display_));
}

unsigned long DesktopProbe::atom(const std::string& name) {
    return XInternAtom(dpy(display_), name.c_str(), False);
}

std::vector<unsigned long> DesktopProbe::cardinals(unsigned long window, const std::string& property,
                                                   const std::string& type) {
    std::vector<unsigned long> out;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom wanted = type.empty() ? AnyPropertyType : atom(type);
    if (XGetWindowProperty(dpy(display_), window, atom(property), 0, 1024, False, wanted, &actual, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        out.assign(values, values + count);
    }
    if (data) XFree(data);
    return out;
}

std::vector<unsigned long> DesktopProbe::windowsOf(int pid) {
    std::vector<unsigned long> out;
    for (unsigned long w : cardinals(DefaultRootWindow(dpy(display_)), "_NET_CLIENT_LIST", "WINDOW")) {
        const auto owner = cardinals(w, "_NET_WM_PID", "CARDINAL");
        if (!owner.empty() && static_cast<int>(owner[0]) == pid) out.push_back(w);
    }
    return out;
}

XRect DesktopProbe::contentRect(unsigned long window) {
    XWindowAttributes a{};
    XRect r;
    if (!XGetWindowAttributes(dpy(display_), window, &a)) return r;
    Window child = 0;
    XTranslateCoordinates(dpy(display_), window, DefaultRootWindow(dpy(display_)), 0, 0, &r.x, &r.y, &child);
    r.width = a.width;
    r.height = a.height;
    return r;
}

XRect DesktopProbe::frameRect(unsigned long window) {
    XRect r = contentRect(window);
    const auto extents = frameExtents(window);
    if (extents.size() != 4) return r;
    r.x -= static_cast<int>(extents[0]);
    r.y -= static_cast<int>(extents[2]);
    r.width += static_cast<int>(extents[0] + extents[1]);
    r.height += static_cast<int>(extents[2] + extents[3]);
    return r;
}

std::string DesktopProbe::title(unsigned long window) {
    char* name = nullptr;
    std::string out;
    if (XFetchName(dpy(display_), window, &name) && name) out = name;
    if (name) XFree(name);
    return out;
}

XRect DesktopProbe::screen() {
    Display* d = dpy(display_);
    return {0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
}

XRect DesktopProbe::workArea() {
    const Window root = DefaultRootWindow(dpy(display_));
    const auto desktop = cardinals(root, "_NET_CURRENT_DESKTOP", "CARDINAL");
    const size_t index = desktop.empty() ? 0 : desktop[0];
    const auto areas = cardinals(root, "_NET_WORKAREA", "CARDINAL");
    if (areas.size() < 4 * (index + 1)) return screen();
    const unsigned long* a = &areas[4 * index];
    return {static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[2]), static_cast<int>(a[3])};
}

std::vector<long> DesktopProbe::frameExtents(unsigned long window) {
    const auto values = cardinals(window, "_NET_FRAME_EXTENTS", "CARDINAL");
    return std::vector<long>(values.begin(), values.end());
}

std::optional<std::pair<int, int>> DesktopProbe::minimumSize(unsigned long window) {
    XSizeHints hints{};
    long supplied = 0;
    if (!XGetWMNormalHints(dpy(display_), window, &hints, &supplied) || !(hints.flags & PMinSize))
        return std::nullopt;
    return std::make_pair(hints.min_width, hints.min_height);
}

std::optional<unsigned long> DesktopProbe::motifFunctions(unsigned long window) {
    const auto hints = cardinals(window, "_MOTIF_WM_HINTS", "");
    if (hints.size() < 2 || !(hints[0] & 1UL)) return std::nullopt;
    return hints[1];
}

std::vector<std::string> DesktopProbe::states(unsigned long window) {
    std::vector<std::string> out;
    for (unsigned long a : cardinals(window, "_NET_WM_STATE", "ATOM")) {
        char* name = XGetAtomName(dpy(display_), a);
        if (name) out.emplace_back(name);
        XFree(name);
    }
    return out;
}

bool DesktopProbe::iconic(unsigned long window) {
    const auto state = cardinals(window, "WM_STATE", "WM_STATE");
    return !state.empty() && state[0] == IconicState;
}

unsigned long DesktopProbe::activeWindow() {
    const auto active = cardinals(DefaultRootWindow(dpy(display_)), "_NET_ACTIVE_WINDOW", "WINDOW");
    return active.empty() ? 0 : active[0];
}

std::vector<unsigned long> DesktopProbe::stacking() {
    return cardinals(DefaultRootWindow(dpy(display_)), "_NET_CLIENT_LIST_STACKING", "WINDOW");
}

void DesktopProbe::requestState(unsigned long window, bool add, const std::string& state1,
                                const std::string& state2) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom("_NET_WM_STATE");
    e.xclient.format = 32;
    e.xclient.data.l[0] = add ? 1 : 0;
    e.xclient.data.l[1] = static_cast<long>(atom(state1));
    e.xclient.data.l[2] = state2.empty() ? 0 : static_cast<long>(atom(state2));
    e.xclient.data.l[3] = 2; // a pager, on the user's behalf
    XSendEvent(dpy(display_), DefaultRootWindow(dpy(display_)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    sync();
}

void DesktopProbe::move(unsigned long window, int x, int y) {
    constexpr long kStaticGravity = 10, kXGiven = 1L << 8, kYGiven = 1L << 9, kFromPager = 2L << 12;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom("_NET_MOVERESIZE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = kStaticGravity | kXGiven | kYGiven | kFromPager;
    e.xclient.data.l[1] = x;
    e.xclient.data.l[2] = y;
    XSendEvent(dpy(display_), DefaultRootWindow(dpy(display_)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    sync();
}

void DesktopProbe::activate(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // a pager, on the user's behalf
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy(display_), DefaultRootWindow(dpy(display_)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    sync();
}

bool DesktopProbe::windowManagerRoundTrip() {
    Display* d = dpy(display_);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atom("_NET_REQUEST_FRAME_EXTENTS");
    e.xclient.format = 32;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    sync();
    const bool answered = testsupport::waitUntil([&] { return !frameExtents(w).empty(); });
    XDestroyWindow(d, w);
    sync();
    return answered;
}

unsigned long DesktopProbe::openPlainWindow(int width, int height) {
    Display* d = dpy(display_);
    const Window w =
        XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, 0, WhitePixel(d, DefaultScreen(d)));
    XStoreName(d, w, "probe");
    XMapRaised(d, w);
    sync();
    return w;
}

bool DesktopProbe::selectionOwned(const std::string& selection) {
    return XGetSelectionOwner(dpy(display_), atom(selection)) != None;
}

void DesktopProbe::sync() {
    XSync(dpy(display_), False);
}

} // namespace rendertest
