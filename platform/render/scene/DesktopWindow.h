// One application window on the desktop: a renderer window (HostWindow) showing the tree of a scene
// window's content. It sizes the desktop window to the window's content area, shows and hides it
// and sets its title and icon as the window and the application say, hands a size the user gives
// the desktop window back to the window, and turns the desktop's close button into the window's
// close (the application terminates when its last window is gone). A tree with a menu bar is
// taller than the window's content area by the bar's strip, and so is the desktop window. The
// keyboard focus of the desktop window and its sheets goes to the application, whose activity
// follows it. Main thread only.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/scene/WindowPresenter.h"

#include <memory>
#include <string>

namespace plat::render {

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
    std::weak_ptr<Window> window_;
    double bar_ = 0;
    std::unique_ptr<HostWindow> onScreen_;
    // The size this side last asked the desktop window for, and the size last seen there: a seen
    // size that changed to something not asked for was the user's doing.
    Size requested_;
    Size seen_;
    AnyCancellable iconSubscription_;
};

} // namespace plat::render
