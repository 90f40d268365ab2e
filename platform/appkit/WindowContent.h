// What a window shows: the view layer implements it over its host so that the window can ask for
// an update pass, report its content size, route menu actions and print what it shows. All calls
// are made on the main thread.
#pragma once

#include "platform/geometry/ScreenRect.h"

#include <string>

namespace plat {

class WindowContent {
public:
    virtual ~WindowContent() = default;

    // The content area changed size (also called once when the content is installed).
    virtual void windowDidResize(Size contentSize) = 0;
    // One update pass of the content; called by the application after its "will update"
    // notification. Content with nothing invalidated must do no work.
    virtual void update() = 0;
    // A menu action for the focused control ("copy:", "paste:", "selectAll:", ...); true when it
    // was handled.
    virtual bool performAction(const std::string& action) {
        (void)action;
        return false;
    }
    // The window was asked to close: when the content shows a sheet (or an alert), that one closes
    // instead and the answer is true. May close it a turn later.
    virtual bool closeTopSheet() { return false; }
    // A text picture of what the content shows, for the headless application and tests.
    virtual std::string describe() const = 0;
};

} // namespace plat
