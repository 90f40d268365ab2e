// A window manager and real input for the window tests that need them: focus only moves between
// windows, and windows only take a click to the front, when a window manager runs. Input goes
// through the display's test extension, as from a real pointer. Call after ensureDisplay().
#pragma once

#include <string>

namespace rendertest {

// Makes sure a window manager runs on $DISPLAY: the one running there, or openbox started here and
// stopped at exit. False (with the reason) when none can be had.
bool ensureWindowManager(std::string* why = nullptr);

// Moves the pointer to the screen point (x, y) and clicks its first button there; false when the
// display has no test extension.
bool clickAt(int x, int y);

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

} // namespace rendertest

// Skips the calling test when no window manager can be had.
#define REQUIRE_WINDOW_MANAGER()                                                                             \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        if (!rendertest::ensureWindowManager(&why_)) GTEST_SKIP() << why_;                                   \
    } while (0)
