// A window manager and real input for the window tests that need them: focus only moves between
// windows, windows only take a click to the front, and size hints, maximise, minimise and raising
// only exist when a window manager runs. Input goes through the display's test extension (XTEST),
// as from a real pointer and keyboard.
#pragma once

#include "tests/render/XServer.h"

#include <optional>
#include <string>

namespace rendertest {

// Makes sure a window manager runs on $DISPLAY (call after ensureDisplay()): the one running there,
// or openbox started here and stopped at exit. False (with the reason) when none can be had.
bool ensureWindowManager(std::string* why = nullptr);

// A display of its own with openbox on it, started once per test process and stopped with it;
// $DISPLAY and the display of ensureDisplay() stay as they are, so the other tests of the process
// keep a bare X server. The display's name, or none (with the reason).
std::optional<std::string> windowManagerDisplay(std::string* why = nullptr);

// Real input on the display named (on $DISPLAY when none is), through a connection of its own.
class XTestInput {
public:
    explicit XTestInput(const std::string& display = {});
    ~XTestInput();
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;

    // Whether the display is open and has the test extension.
    bool available() const;
    void movePointer(int x, int y);
    void button(int button, bool press);
    // Moves the pointer to (x, y) and clicks the first button there `clicks` times.
    void click(int x, int y, int clicks = 1);
    // Presses `button` at the one point, moves to the other in steps and lets go; with `alt` the
    // Alt key is held throughout, which hands the drag to the window manager (Alt with the first
    // button moves the window under the pointer, with the third it resizes it from the nearest
    // corner).
    void drag(int fromX, int fromY, int toX, int toY, int button = 1, bool alt = false);
    // Presses and releases the key of `keysym`, with Control and Shift held when asked.
    void key(unsigned long keysym, bool control = false, bool shift = false);

private:
    void* display_ = nullptr;
};

// A plain window of another client on the same display, placed at (x, y) with the given size,
// mapped until destroyed. Clicking it takes the keyboard away from the windows under test.
class OtherClientWindow {
public:
    OtherClientWindow(int x, int y, int width, int height);
    ~OtherClientWindow();
    OtherClientWindow(const OtherClientWindow&) = delete;
    OtherClientWindow& operator=(const OtherClientWindow&) = delete;

    // Whether the window manager has put it on screen (waits up to ten seconds: a loaded machine
    // is slow to start one).
    bool waitUntilViewable();
    // Its middle in screen coordinates, where the window manager placed it.
    bool centre(int* x, int* y) const;

private:
    void* display_ = nullptr; // its own connection, as another program would have
    unsigned long window_ = 0;
};

// A panel of another client along the bottom edge of the screen, as wide as the screen, that asks
// the window manager to keep `height` pixels clear of windows (_NET_WM_STRUT_PARTIAL), until
// destroyed; the destructor waits until the work area is whole again.
class BottomPanel {
public:
    explicit BottomPanel(int height);
    ~BottomPanel();
    BottomPanel(const BottomPanel&) = delete;
    BottomPanel& operator=(const BottomPanel&) = delete;

    // Whether the window manager's work area (_NET_WORKAREA) has left the panel out (waits up to
    // ten seconds).
    bool waitUntilReserved();

private:
    bool waitForWorkAreaHeight(int height);
    void* display_ = nullptr; // its own connection, as another program would have
    unsigned long window_ = 0;
    int height_ = 0;
};

} // namespace rendertest

// Fails the calling test when no window manager can be had.
#define REQUIRE_WINDOW_MANAGER() RENDERTEST_FAIL_UNLESS(rendertest::ensureWindowManager)
