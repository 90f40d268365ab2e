// What a window holds: the root of one view tree. The window tells it the content size and hands
// it input; it lays out, takes part in update passes and draws through a renderer. ui::Host is the
// implementation; tests use it headless.
//
// Main thread only.
#pragma once

#include "platform/ui/KeyEvent.h"
#include "platform/ui/LayoutValues.h"
#include "platform/ui/MenuPopup.h"
#include "platform/ui/Renderer.h"

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace plat::ui {

class RootHost {
public:
    virtual ~RootHost() = default;

    // The size of the content area, in points. A change is laid out in the next pass (no body is
    // evaluated for it).
    virtual Size contentSize() const = 0;
    virtual void setContentSize(Size size) = 0;

    // The smallest content size at which the laid-out content is not cut off (its fixed parts and
    // the minimums of its flexible ones), as of the last pass.
    virtual Size minimumContentSize() const { return {}; }

    // True while the tree waits for a pass (first build, invalidated state, new size).
    virtual bool needsUpdate() const = 0;
    // Runs the update pass now if anything waits for one.
    virtual void update() = 0;

    // The laid-out layers, back to front.
    virtual std::vector<RenderLayer> layers() const = 0;
    // Draws the current layers; never evaluates a body.
    virtual void render(Renderer& renderer) const = 0;
    // Called after each pass that changed the tree or its layout, so the window can redraw.
    virtual void setDisplayHandler(std::function<void()> handler) = 0;
    // The items of the open menu or picker, drawn above everything else; none while none is open.
    // Also called after a menu opens or closes and after a list scrolls, as after a pass.
    virtual std::optional<MenuPopup> menuPopup() const { return std::nullopt; }

    // Input, each followed by an update pass. Return whether the event reached something. An action
    // may close the window and destroy the host: nothing of the host is touched after the action.
    // A click: a press and a release at one point.
    virtual bool mouseClick(Point location) = 0;
    virtual bool keyDown(const KeyEvent& event) = 0;
    virtual bool insertText(std::string_view text) = 0;
    // The pointer's first button: a press (with the modifiers held, and `clickCount` 2 or 3 for the
    // second or third press of a quick series in one place), the drags until its release, and the
    // release. The host decides what makes a click of them; a window sends no mouseClick of its own.
    // Wheel turns: positive deltaY is away from the user. By default nothing takes them.
    virtual bool mouseDown(Point, KeyModifiers /*modifiers*/ = KeyModifiers::None, int /*clickCount*/ = 1) {
        return false;
    }
    virtual bool mouseDragged(Point) { return false; }
    virtual bool mouseUp(Point) { return false; }
    virtual bool scrollWheel(Point, double /*deltaY*/) { return false; }
    // A middle click: the text field under the pointer takes the focus and the desktop's selection
    // is pasted into it, as on Linux desktops. By default nothing takes it.
    virtual bool middleClick(Point) { return false; }
};

} // namespace plat::ui
