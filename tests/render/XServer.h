// A display for the window tests: the one in $DISPLAY when set (for example under xvfb-run),
// otherwise an Xvfb this process starts on a free display number and stops at exit.
#pragma once

#include <string>

namespace rendertest {

// Makes sure a display is there; false (with the reason) when none can be had.
bool ensureDisplay(std::string* why = nullptr);
// Starts an Xvfb of its own on a free display number (stopped at exit) and names it in `display`,
// leaving $DISPLAY alone; false with the reason when none starts.
bool startXvfb(std::string* display, std::string* why);
// Stops the child process `pid` (SIGTERM) when this process exits, the last one given first.
void stopAtExit(int pid);

} // namespace rendertest

// Fails the calling test when `ensure(&why)` is false, with the reason: scripts/deps.sh installs
// Xvfb and the window manager, so a machine without them is not one the tests are run on.
#define RENDERTEST_FAIL_UNLESS(ensure)                                                                       \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        if (!ensure(&why_)) GTEST_FAIL() << why_;                                                            \
    } while (0)

// Fails the calling test when no display can be had.
#define REQUIRE_DISPLAY() RENDERTEST_FAIL_UNLESS(rendertest::ensureDisplay)
