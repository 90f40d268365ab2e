// Shows the scene layer's windows on the desktop through the renderer and runs the application on
// the renderer's event loop (one loop for window input, drawing and the main queue). Made only when
// a display is there; the application stays headless otherwise. The application sees it only as a
// scene::WindowPresenter. Main thread only.
#pragma once

#include "platform/scene/WindowPresenter.h"

#include <memory>
#include <string>

namespace plat::render {

class DesktopPresenter : public scene::WindowPresenter {
public:
    // A presenter when the window system starts on $DISPLAY; null without a display. Windows show
    // the image named `defaultIcon` while the application names no icon of its own. With a display
    // the toolkit's pasteboards become the desktop's clipboard and primary selection.
    static std::shared_ptr<DesktopPresenter> makeIfDisplayAvailable(std::string defaultIcon);

    std::shared_ptr<const ui::TextMetrics> textMetrics() const override { return metrics_; }
    std::unique_ptr<scene::WindowPresentation> present(const std::shared_ptr<Window>& window,
                                                       const std::shared_ptr<ui::Host>& host,
                                                       double barHeight) override;
    // Activates the application and turns the event loop, with an update pass of the application
    // after each turn, until it terminates; then closes the windows that are left, so the desktop
    // windows are gone before the process ends.
    void run(Application& application) override;

private:
    explicit DesktopPresenter(std::string defaultIcon);
    std::shared_ptr<const ui::TextMetrics> metrics_;
    std::string defaultIcon_;
};

} // namespace plat::render
