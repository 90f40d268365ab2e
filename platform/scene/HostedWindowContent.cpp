#include "platform/scene/HostedWindowContent.h"

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
        // The bar stays at the top even while the window is smaller than what the root needs.
        root = ui::VStack(ui::HAlign::Center, 0,
                          {MenuBar(menuBar_),
                           root.frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity})})
                   .frame(ui::FrameSpec{.minWidth = 0,
                                        .maxWidth = ui::infinity,
                                        .minHeight = 0,
                                        .maxHeight = ui::infinity,
                                        .alignment = ui::Alignment::top()});
    }
    host_ = std::make_shared<ui::Host>(
        std::move(root),
        ui::HostOptions{treeSize(window->contentSize()), presenter ? presenter->textMetrics() : nullptr});
    if (presenter) presentation_ = presenter->present(window, host_, menuBar_ ? MenuBarModel::kHeight : 0.0);
    // Set after the presentation, which may have put its own handler in: this content forwards
    // every redraw to it. The host outlives no window content, so the handler may capture this.
    host_->setDisplayHandler([this] { displayed(); });
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
