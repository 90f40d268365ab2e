// Shows the scene layer's windows on the desktop through the renderer and runs the application on
// the renderer's event loop (one loop for window input, drawing and the main queue). Made only when
// a display is there; the application stays headless otherwise. Main thread only.
#pragma once

#include "platform/scene/WindowPresenter.h"

#include <memory>

class DesktopPresenter : public plat::scene::WindowPresenter {
public:
    // A presenter when the window system starts on $DISPLAY; null without a display.
    static std::shared_ptr<DesktopPresenter> makeIfDisplayAvailable();

    std::shared_ptr<const plat::ui::TextMetrics> textMetrics() const override { return metrics_; }
    std::unique_ptr<plat::scene::WindowPresentation>
    present(const std::shared_ptr<plat::Window>& window,
            const std::shared_ptr<plat::ui::Host>& host) override;
    // Activates the application and turns the event loop, with an update pass of the application
    // after each turn, until it terminates; then closes the windows that are left, so the desktop
    // windows are gone before the process ends.
    void run(plat::Application& application) override;

private:
    DesktopPresenter();
    std::shared_ptr<const plat::ui::TextMetrics> metrics_;
};
