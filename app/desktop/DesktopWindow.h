// One application window on the desktop: a renderer window (HostWindow) showing the tree of a scene
// window's content. It sizes the desktop window to the window's content area, shows and hides it
// and sets its title and icon as the window and the application say, hands a size the user gives
// the desktop window back to the window, and turns the desktop's close button into the window's
// close (the application terminates when its last window is gone). Main thread only.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/scene/WindowPresenter.h"

#include <memory>

class DesktopWindow : public plat::scene::WindowPresentation {
public:
    DesktopWindow(const std::shared_ptr<plat::Window>& window, const std::shared_ptr<plat::ui::Host>& host);
    ~DesktopWindow() override;

    void contentResized(plat::Size size) override;
    void setNeedsDisplay() override;
    void update() override;
    bool writeScreenshot(const std::filesystem::path& path) override;

    plat::render::HostWindow& hostWindow() { return *onScreen_; }

    // The icon a window shows while the application names none.
    static constexpr const char* kDefaultIcon = "AppIconMacOS";

private:
    std::weak_ptr<plat::Window> window_;
    std::unique_ptr<plat::render::HostWindow> onScreen_;
    // The size this side last asked the desktop window for, and the size last seen there: a seen
    // size that changed to something not asked for was the user's doing.
    plat::render::Size requested_;
    plat::render::Size seen_;
    plat::AnyCancellable iconSubscription_;
};
