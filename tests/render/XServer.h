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

// Skips the calling test when `ensure(&why)` is false, with the reason.
#define RENDERTEST_SKIP_UNLESS(ensure)                                                                       \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        if (!ensure(&why_)) GTEST_SKIP() << why_;                                                            \
    } while (0)

// Skips the calling test when no display can be had.
#define REQUIRE_DISPLAY() RENDERTEST_SKIP_UNLESS(rendertest::ensureDisplay)
