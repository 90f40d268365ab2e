// What a user and a pager see of the windows on the test display. Runs under a window manager
// (WindowManager.h), since size hints, maximise, minimise and raising only exist with one.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rendertest {

struct XRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// One connection to a display. Window ids are X window ids of the applications' own windows.
class DesktopProbe {
public:
    explicit DesktopProbe(const std::string& display);
    ~DesktopProbe();
    DesktopProbe(const DesktopProbe&) = delete;
    DesktopProbe& operator=(const DesktopProbe&) = delete;
    bool connected() const { return display_ != nullptr; }

    // The managed windows (the window manager's client list) of process `pid`, by _NET_WM_PID.
    std::vector<unsigned long> windowsOf(int pid);
    // The content area on the screen (root coordinates).
    XRect contentRect(unsigned long window);
    // The whole window as the user sees it: the content area with the window manager's frame.
    XRect frameRect(unsigned long window);
    // The window's title (WM_NAME).
    std::string title(unsigned long window);
    // The screen, and the part of it the window manager leaves to windows on the current desktop
    // (_NET_WORKAREA; the screen when it names none).
    XRect screen();
    XRect workArea();
    // The window manager's frame around it: left, right, top, bottom.
    std::vector<long> frameExtents(unsigned long window);
    // WM_NORMAL_HINTS: the minimum size, when set.
    std::optional<std::pair<int, int>> minimumSize(unsigned long window);
    // _MOTIF_WM_HINTS functions word, when the window says which functions it offers.
    std::optional<unsigned long> motifFunctions(unsigned long window);
    // The atom names of _NET_WM_STATE.
    std::vector<std::string> states(unsigned long window);
    // WM_STATE is IconicState.
    bool iconic(unsigned long window);
    // _NET_ACTIVE_WINDOW, and the client list from bottom to top.
    unsigned long activeWindow();
    std::vector<unsigned long> stacking();
    // Asks the window manager, as a pager does, to add or remove `state` (_NET_WM_STATE_...).
    void requestState(unsigned long window, bool add, const std::string& state1,
                      const std::string& state2 = {});
    // Asks the window manager, as a pager does for the user, to move `window`'s content area to
    // (x, y); unlike the application's own moves, these may leave part of it off the screen.
    void move(unsigned long window, int x, int y);
    // Asks the window manager, as a pager does, to activate `window` (restoring it when minimised).
    void activate(unsigned long window);
    // Waits until the window manager has handled everything sent to it before the call (it answers
    // a frame-extents request for a window of the probe's own); false when it did not answer in
    // the suite's patience. What it sent to other clients meanwhile is queued for them by then.
    bool windowManagerRoundTrip();
    // A plain top-level window of this connection, mapped and raised over the others.
    unsigned long openPlainWindow(int width, int height);

    // Whether a program owns the selection named ("CLIPBOARD", "PRIMARY").
    bool selectionOwned(const std::string& selection);
    void sync();

private:
    unsigned long atom(const std::string& name);
    std::vector<unsigned long> cardinals(unsigned long window, const std::string& property,
                                         const std::string& type);
    void* display_ = nullptr;
};

} // namespace rendertest
