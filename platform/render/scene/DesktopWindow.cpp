#include "platform/render/scene/DesktopWindow.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Host.h"

#include <cmath>

namespace plat::render {
namespace {

// The desktop sizes its windows in whole points.
Size surfaceSize(Size size) {
    return {static_cast<double>(std::lround(size.width)), static_cast<double>(std::lround(size.height))};
}

bool sameSize(Size a, Size b) {
    return std::lround(a.width) == std::lround(b.width) && std::lround(a.height) == std::lround(b.height);
}

// Closes the window a turn later, outside the desktop window's own event handling (closing
// destroys it), and ends the application once no window is left.
void closeLater(std::weak_ptr<Window> weak) {
    mainQueue().async([weak] {
        auto window = weak.lock();
        if (!window) return;
        window->close();
        auto& application = Application::shared();
        if (application.windows().empty()) application.terminate();
    });
}

} // namespace

DesktopWindow::DesktopWindow(const std::shared_ptr<Window>& window, const std::shared_ptr<ui::Host>& host,
                             std::string defaultIcon, double barHeight)
    : window_(window), bar_(barHeight) {
    WindowOptions options;
    options.title = window->title();
    options.contentSize = surfaceSize({window->contentSize().width, window->contentSize().height + bar_});
    options.resizable = window->style().resizable;
    // Shown by the first update pass after the window is ordered front, at its size by then.
    options.visible = false;
    ui::Host* tree = host.get();
    onScreen_ = std::make_unique<HostWindow>(host, options, [tree] { return tree->focused(); });
    requested_ = options.contentSize;
    seen_ = onScreen_->surface().contentSize();
    onScreen_->setCloseHandler([weak = window_] { closeLater(weak); });
    // The application's activity follows the keyboard across its windows.
    onScreen_->setFocusHandler([weak = window_](bool focused) {
        if (auto window = weak.lock()) Application::shared().windowKeyboardFocusChanged(*window, focused);
    });
    iconSubscription_ = Application::shared().applicationIconImage().sink(
        [this, defaultIcon = std::move(defaultIcon)](const std::optional<std::string>& name) {
            onScreen_->surface().setIconImage(name.value_or(defaultIcon));
        });
}

DesktopWindow::~DesktopWindow() {
    iconSubscription_.cancel();
}

void DesktopWindow::contentResized(Size size) {
    requested_ = surfaceSize({size.width, size.height + bar_});
    if (!sameSize(onScreen_->surface().contentSize(), requested_))
        onScreen_->surface().setContentSize(requested_);
}

void DesktopWindow::setNeedsDisplay() {
    onScreen_->surface().setNeedsDisplay();
}

void DesktopWindow::update() {
    auto window = window_.lock();
    if (!window) return;
    auto& surface = onScreen_->surface();
    if (surface.title() != window->title()) surface.setTitle(window->title());
    if (surface.isVisible() != window->isVisible()) surface.setVisible(window->isVisible());

    const Size now = surface.contentSize();
    if (sameSize(now, seen_)) return;
    seen_ = now;
    if (sameSize(now, requested_)) return;
    // The user resized the desktop window: the window (and so its tree) takes that size.
    requested_ = now;
    window->setContentSize(Size{now.width, std::max(0.0, now.height - bar_)});
}

bool DesktopWindow::writeScreenshot(const std::filesystem::path& path) {
    return onScreen_->writeScreenshots(path);
}

} // namespace plat::render
