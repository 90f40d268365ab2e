// How the scene layer's windows reach the desktop. Without a presenter the application is headless:
// its windows exist only as objects (and print what they show when asked to). An application that
// has a display installs a presenter, made over its renderer, in SceneOptions; the scene layer
// itself knows no renderer. Main thread only.
#pragma once

#include "platform/geometry/ScreenRect.h"

#include <filesystem>
#include <memory>

namespace plat {
class Application;
class Window;
} // namespace plat

namespace plat::ui {
class Host;
class TextMetrics;
} // namespace plat::ui

namespace plat::scene {

// One window on the desktop, showing the tree of a window's content. It lives exactly as long as
// that content.
class WindowPresentation {
public:
    virtual ~WindowPresentation() = default;

    // The window's content area now has this size (the application or a screen sized it); the
    // desktop window adds the bar's strip to it.
    virtual void contentResized(Size size) = 0;
    // The tree changed after a pass: draw it again before the loop next waits.
    virtual void setNeedsDisplay() = 0;
    // Once per update pass of the application: follow the window's title and visibility, and hand
    // a size the user gave the desktop window back to the window.
    virtual void update() = 0;
    // Writes what the window shows now as a PNG image; false when it cannot be written.
    virtual bool writeScreenshot(const std::filesystem::path& path) = 0;
};

class WindowPresenter {
public:
    virtual ~WindowPresenter() = default;

    // The text measurements the windows' trees are laid out with, so that layout matches what is
    // drawn; null for the toolkit's own.
    virtual std::shared_ptr<const ui::TextMetrics> textMetrics() const = 0;
    // Shows `window`, whose content is the tree of `host`, on the desktop. Called while the content
    // is being made, before the window shows it. The tree shows a strip `barHeight` points high
    // (the menu bar) above the window's content area: the desktop window is that much taller.
    virtual std::unique_ptr<WindowPresentation> present(const std::shared_ptr<Window>& window,
                                                        const std::shared_ptr<ui::Host>& host,
                                                        double barHeight) = 0;
    // Runs the application's event loop over the desktop's until the application terminates, with
    // an update pass of the application after each turn (as Application::run does headless).
    virtual void run(Application& application) = 0;
};

} // namespace plat::scene
