// A window's content made of a view tree: the window's size reaches the tree's host, the
// application's update passes run the host's pass, menu actions become the matching key presses,
// and every redraw of the tree redraws the window. With printing on, each changed picture of the
// tree is written to the console (the headless application shows itself this way). With a presenter
// the window is also shown on the desktop: the presentation follows the window's size and draws
// each changed picture. A content with a menu bar shows the bar as a strip above the window's
// content area: the tree is that much taller than the window's content size, which the root view
// keeps for itself. Main thread only.
#pragma once

#include "platform/appkit/Window.h"
#include "platform/appkit/WindowContent.h"
#include "platform/scene/MenuBar.h"
#include "platform/scene/WindowPresenter.h"
#include "platform/ui/Host.h"

#include <memory>
#include <string>

namespace plat::scene {

class HostedWindowContent : public WindowContent {
public:
    // Hosts `root` in `window` (held weakly) and installs itself as the window's content.
    static std::shared_ptr<HostedWindowContent> install(const std::shared_ptr<Window>& window,
                                                        ui::AnyView root, bool printChanges);
    // The same, shown on the desktop through `presenter` (none: headless), with the menu bar of
    // `menuBar` above the root view (none: no bar).
    static std::shared_ptr<HostedWindowContent> install(const std::shared_ptr<Window>& window,
                                                        ui::AnyView root, bool printChanges,
                                                        const std::shared_ptr<WindowPresenter>& presenter,
                                                        std::shared_ptr<MenuBarModel> menuBar = nullptr);
    ~HostedWindowContent() override;

    ui::Host& host() { return *host_; }
    const ui::Host& host() const { return *host_; }
    // The window on the desktop; null when headless.
    WindowPresentation* presentation() const { return presentation_.get(); }

    // A panel (the settings window): Escape and Ctrl+W close it when nothing in it takes them.
    void setClosesOnEscape(bool closes) { closesOnEscape_ = closes; }

    void windowDidResize(Size contentSize) override;
    void update() override;
    bool performAction(const std::string& action) override;
    bool closeTopSheet() override;
    std::string describe() const override;

private:
    HostedWindowContent(const std::shared_ptr<Window>& window, ui::AnyView root, bool printChanges,
                        const std::shared_ptr<WindowPresenter>& presenter,
                        std::shared_ptr<MenuBarModel> menuBar);
    void displayed();
    // A key nothing in the tree took. A window without the menu bar hands command keys to the
    // application's menu, whose key equivalents hold in every window.
    bool windowKey(const ui::KeyEvent& event);
    // The tree's size for a window content size: the menu bar's strip added.
    Size treeSize(Size contentSize) const;

    std::weak_ptr<Window> window_;
    std::shared_ptr<ui::Host> host_;
    // Goes before the host: it may hold the host too.
    std::unique_ptr<WindowPresentation> presentation_;
    std::shared_ptr<MenuBarModel> menuBar_;
    bool printChanges_;
    bool performing_ = false; // a menu action is being handed to the tree
    bool closesOnEscape_ = false;
    std::string lastPrinted_;
};

} // namespace plat::scene
