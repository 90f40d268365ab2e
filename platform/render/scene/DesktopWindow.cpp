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
        if (auto window = weak.lock()) window->performClose();
    });
}

} // namespace

VisibilityStep nextVisibilityStep(const VisibilityFacts& facts, HiddenWindowState& state) {
    if (facts.windowVisible) {
        // Shown again (Show All, or another window restored): bring it back from the list.
        const bool minimisedForHiding =
            (state == HiddenWindowState::Requested || state == HiddenWindowState::Minimised) &&
            facts.surfaceIconified;
        state = HiddenWindowState::None;
        if (minimisedForHiding) return VisibilityStep::Restore;
        // A window the user minimised themselves stays so.
        if (facts.surfaceVisible || facts.surfaceIconified) return VisibilityStep::None;
        return VisibilityStep::Show;
    }
    if (facts.applicationHidden && (facts.surfaceVisible || state != HiddenWindowState::None)) {
        switch (state) {
        case HiddenWindowState::None:
            state = HiddenWindowState::Requested;
            return VisibilityStep::Minimise;
        case HiddenWindowState::Requested:
            if (facts.surfaceIconified) state = HiddenWindowState::Minimised;
            return VisibilityStep::None;
        case HiddenWindowState::Minimised:
            if (facts.surfaceIconified) return VisibilityStep::None;
            state = HiddenWindowState::Restored;
            return VisibilityStep::UnhideApplication;
        case HiddenWindowState::Restored:
            // Passes before the unhide runs must not minimise it again.
            return VisibilityStep::None;
        }
    }
    state = HiddenWindowState::None;
    return facts.surfaceVisible ? VisibilityStep::Hide : VisibilityStep::None;
}

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
    // A window without an enabled zoom button cannot be maximised from the desktop either; the
    // window manager learns it before it first shows the window. Should it maximise the window
    // all the same, the window goes back to its size (followWindowCommands).
    auto* zoom = window->standardWindowButton(WindowButtonType::zoomButton);
    const bool maximizable = zoom && zoom->isEnabled();
    if (maximizable != maximizable_) {
        maximizable_ = maximizable;
        surface.setMaximizable(maximizable);
    }
    VisibilityFacts facts;
    facts.windowVisible = window->isVisible();
    facts.applicationHidden = Application::shared().isHidden();
    facts.surfaceVisible = surface.isVisible();
    facts.surfaceIconified = surface.isIconified();
    switch (nextVisibilityStep(facts, hidden_)) {
    case VisibilityStep::None:
        break;
    case VisibilityStep::Show:
        surface.setVisible(true);
        break;
    case VisibilityStep::Hide:
        surface.setVisible(false);
        break;
    case VisibilityStep::Minimise:
        surface.setIconified(true);
        break;
    case VisibilityStep::Restore:
        surface.setIconified(false);
        break;
    case VisibilityStep::UnhideApplication:
        // Outside the update pass that is running now.
        mainQueue().async([] { Application::shared().unhide(); });
        break;
    }

    // Maximised by a window manager that does not heed the window's hints: back to its size, and
    // the size it had for that moment is not taken for the user's.
    if (!maximizable && surface.isMaximized()) {
        surface.restoreFromMaximized();
        return;
    }
    followWindowCommands(*window, surface);

    const Size now = surface.contentSize();
    if (sameSize(now, seen_)) return;
    seen_ = now;
    if (sameSize(now, requested_)) return;
    // The user resized the desktop window: the window (and so its tree) takes that size.
    requested_ = now;
    window->setContentSize(Size{now.width, std::max(0.0, now.height - bar_)});
}

void DesktopWindow::followWindowCommands(Window& window, Surface& surface) {
    if (!window.isVisible() || hidden_ != HiddenWindowState::None || Application::shared().isHidden()) return;
    // Ordered front again (a second launch, the Settings item): over the other windows, and back
    // from the desktop's list first when minimised there (the desktop counts such a window as
    // unmapped, not visible).
    if (window.orderFrontCount() != orderedFront_) {
        orderedFront_ = window.orderFrontCount();
        if (surface.isVisible() || surface.isIconified()) {
            surface.bringToFront();
            // A sheet blocks the window's input: the sheet on top is the one that takes the keys,
            // so it comes forward last, with the keyboard.
            if (const size_t sheets = onScreen_->sheetCount(); sheets > 0)
                onScreen_->sheet(sheets - 1)->bringToFront();
        }
    }
    // Minimise follows the window both ways: the Minimize item minimises the desktop window, and
    // the user minimising or restoring it on the desktop is the window's state too.
    const bool iconified = surface.isIconified();
    if (iconified) {
        minimiseAsked_ = false;
        sawMinimised_ = true;
        if (!window.isMiniaturized()) window.miniaturize();
    } else if (sawMinimised_) {
        sawMinimised_ = false;
        window.deminiaturize();
    } else if (window.isMiniaturized() && !minimiseAsked_ && surface.isVisible()) {
        minimiseAsked_ = true;
        surface.setIconified(true);
    }
}

bool DesktopWindow::writeScreenshot(const std::filesystem::path& path) {
    return onScreen_->writeScreenshots(path);
}

} // namespace plat::render
