// One application window on the desktop: a renderer window (HostWindow) showing the tree of a scene
// window's content. It sizes the desktop window to the window's content area, shows and hides it
// (minimises it while the application is hidden) and sets its title and icon as the window and the
// application say, hands a size the user gives the desktop window back to the window, and turns the
// desktop's close button into the window's close (the application terminates when its last window
// is gone). It tells the window manager the window cannot be maximised while the window's zoom
// button is disabled, minimises it for the Minimize item and restores and raises it each time the
// window is ordered front, its top sheet over it with the keyboard. A tree with a menu bar is
// taller than the window's content area by the bar's strip, and so is the desktop window. The
// keyboard focus of the desktop window and its sheets goes to the application, whose activity
// follows it. Main thread only.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/scene/WindowPresenter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plat::render {

// How a window the application hid is kept: hiding the application minimises its windows rather
// than taking them off the desktop, since without a dock nothing else could bring them back; the
// user restoring one from the desktop's list of windows unhides the application.
enum class HiddenWindowState {
    None,      // not minimised for the application's hiding
    Requested, // asked the window manager to minimise it (none may be running)
    Minimised, // the window manager did
    Restored,  // the user restored it; the application unhides on its next turn
};

// What one update pass does about the desktop window's visibility.
enum class VisibilityStep { None, Show, Hide, Minimise, Restore, UnhideApplication };

struct VisibilityFacts {
    bool windowVisible = false;     // the scene window is on screen
    bool applicationHidden = false; // the application is hidden
    bool surfaceVisible = false;    // the desktop window is mapped
    bool surfaceIconified = false;  // the window manager has minimised it
};

// The step for these facts; `state` carries what earlier passes did.
VisibilityStep nextVisibilityStep(const VisibilityFacts& facts, HiddenWindowState& state);

class DesktopWindow : public scene::WindowPresentation {
public:
    // Shows the tree of `host` for `window` (held weakly); `defaultIcon` is the image shown while
    // the application names no icon; `barHeight` is the strip the tree shows above the content.
    DesktopWindow(const std::shared_ptr<Window>& window, const std::shared_ptr<ui::Host>& host,
                  std::string defaultIcon, double barHeight = 0);
    ~DesktopWindow() override;

    void contentResized(Size size) override;
    void setNeedsDisplay() override;
    void update() override;
    bool writeScreenshot(const std::filesystem::path& path) override;

    HostWindow& hostWindow() { return *onScreen_; }

private:
    // Zoom, minimise and ordering front, from the window to the desktop window and back.
    void followWindowCommands(Window& window, Surface& surface);

    std::weak_ptr<Window> window_;
    double bar_ = 0;
    std::unique_ptr<HostWindow> onScreen_;
    // The size this side last asked the desktop window for, and the size last seen there: a seen
    // size that changed to something not asked for was the user's doing.
    Size requested_;
    Size seen_;
    HiddenWindowState hidden_ = HiddenWindowState::None;
    std::optional<bool> maximizable_; // what the window manager was last told
    uint64_t orderedFront_ = 0;       // the window's orderFrontCount() last acted on
    bool minimiseAsked_ = false;      // the Minimize item's request is out
    bool sawMinimised_ = false;       // minimised when last looked at

    AnyCancellable iconSubscription_;
};

} // namespace plat::render
