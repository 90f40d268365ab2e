#include "platform/scene/HostedWindowContent.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Menu.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/log/OSLog.h"

#include <map>

namespace plat::scene {

std::shared_ptr<HostedWindowContent> HostedWindowContent::install(const std::shared_ptr<Window>& window,
                                                                  ui::AnyView root, bool printChanges) {
    return install(window, std::move(root), printChanges, nullptr);
}

std::shared_ptr<HostedWindowContent>
HostedWindowContent::install(const std::shared_ptr<Window>& window, ui::AnyView root, bool printChanges,
                             const std::shared_ptr<WindowPresenter>& presenter,
                             std::shared_ptr<MenuBarModel> menuBar) {
    std::shared_ptr<HostedWindowContent> content(
        new HostedWindowContent(window, std::move(root), printChanges, presenter, std::move(menuBar)));
    window->setContent(content);
    return content;
}

HostedWindowContent::HostedWindowContent(const std::shared_ptr<Window>& window, ui::AnyView root,
                                         bool printChanges, const std::shared_ptr<WindowPresenter>& presenter,
                                         std::shared_ptr<MenuBarModel> menuBar)
    : window_(window), menuBar_(std::move(menuBar)), printChanges_(printChanges) {
    if (menuBar_) {
        // The root keeps the whole content area below the bar, however little of it it fills.
        // The tree's minimum is the bar's strip over the root's own minimum, which the desktop
        // window keeps as its least size.
        root =
            ui::VStack(ui::HAlign::Center, 0,
                       {MenuBar(menuBar_),
                        root.frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity})})
                .frame(ui::FrameSpec{
                    .maxWidth = ui::infinity, .maxHeight = ui::infinity, .alignment = ui::Alignment::top()});
    }
    host_ = std::make_shared<ui::Host>(
        std::move(root),
        ui::HostOptions{treeSize(window->contentSize()), presenter ? presenter->textMetrics() : nullptr});
    if (presenter) presentation_ = presenter->present(window, host_, menuBar_ ? MenuBarModel::kHeight : 0.0);
    // Set after the presentation, which may have put its own handler in: this content forwards
    // every redraw to it. The host outlives no window content, so the handler may capture this.
    host_->setDisplayHandler([this] { displayed(); });
    host_->setUnhandledKeyHandler([this](const ui::KeyEvent& event) { return windowKey(event); });
}

HostedWindowContent::~HostedWindowContent() {
    // The desktop window goes first; the host then has no one left to tell about redraws.
    presentation_.reset();
    host_->setDisplayHandler({});
}

Size HostedWindowContent::treeSize(Size contentSize) const {
    return {contentSize.width, contentSize.height + (menuBar_ ? MenuBarModel::kHeight : 0.0)};
}

void HostedWindowContent::windowDidResize(Size contentSize) {
    host_->setContentSize(treeSize(contentSize));
    if (presentation_) presentation_->contentResized(contentSize);
}

void HostedWindowContent::update() {
    // The bar shows what the menu's validators say now (a check that can start, a key window).
    if (menuBar_) menuBar_->refresh();
    host_->update();
    if (presentation_) presentation_->update();
}

bool HostedWindowContent::performAction(const std::string& action) {
    // The key a menu action becomes may lead back to the same menu item when no field takes it.
    if (performing_) return false;
    performing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{performing_};
    // The edit commands reach the focused field as their shortcuts would.
    static const std::map<std::string, std::string> shortcuts{
        {"undo:", "z"}, {"cut:", "x"}, {"copy:", "c"}, {"paste:", "v"}, {"selectAll:", "a"}};
    if (action == "delete:") return host_->keyDown(ui::KeyEvent::named(ui::Key::Delete));
    if (action == "redo:")
        return host_->keyDown(ui::KeyEvent::typed("z", ui::KeyModifiers::Command | ui::KeyModifiers::Shift));
    auto it = shortcuts.find(action);
    if (it == shortcuts.end()) return false;
    return host_->keyDown(ui::KeyEvent::typed(it->second, ui::KeyModifiers::Command));
}

bool HostedWindowContent::windowKey(const ui::KeyEvent& event) {
    using ui::KeyModifiers;
    if (menuBar_ && moveBetweenMenus(*host_, event)) return true;
    const bool command =
        event.key == ui::Key::Character && (event.modifiers == KeyModifiers::Command ||
                                            event.modifiers == (KeyModifiers::Command | KeyModifiers::Shift));
    const bool closeKey = (event.key == ui::Key::Escape && event.modifiers == KeyModifiers::None) ||
                          (event.modifiers == KeyModifiers::Command && event.character == "w");
    if (closesOnEscape_ && closeKey) {
        // A turn later: closing destroys this content, whose tree is still handling the key.
        mainQueue().async([weak = window_] {
            if (auto window = weak.lock()) window->performClose();
        });
        return true;
    }
    // The bar of a window that has one answered already.
    if (menuBar_ || !command) return false;
    auto menu = Application::shared().mainMenu();
    if (!menu) return false;
    std::string key = event.character;
    // A key equivalent written in capitals means Shift with it ("Z": Shift+Ctrl+Z).
    if (event.modifiers != KeyModifiers::Command) {
        if (key.size() != 1 || key[0] < 'a' || key[0] > 'z') return false;
        key[0] = static_cast<char>(key[0] - 'a' + 'A');
    }
    auto item = menu->itemForKeyEquivalent(key);
    return item && item->perform();
}

bool HostedWindowContent::closeTopSheet() {
    if (host_->sheets().empty() && host_->alerts().empty()) return false;
    // A turn later, as Escape would: the request may come from inside the tree's own key handling
    // (the Close item's shortcut), which must not be re-entered.
    mainQueue().async([weak = std::weak_ptr<ui::Host>(host_)] {
        auto host = weak.lock();
        if (host && !(host->sheets().empty() && host->alerts().empty())) host->dismissTop();
    });
    return true;
}

std::string HostedWindowContent::describe() const {
    return host_->dump();
}

void HostedWindowContent::displayed() {
    auto window = window_.lock();
    if (window) window->display();
    if (presentation_) presentation_->setNeedsDisplay();
    if (!printChanges_) return;
    std::string picture = host_->dump();
    if (picture == lastPrinted_) return;
    lastPrinted_ = picture;
    const std::string title = window ? window->title() : std::string();
    consoleLine("Window \"" + title + "\":\n" + picture);
}

} // namespace plat::scene
