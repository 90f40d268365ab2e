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
                             const std::shared_ptr<WindowPresenter>& presenter) {
    std::shared_ptr<HostedWindowContent> content(
        new HostedWindowContent(window, std::move(root), printChanges, presenter));
    window->setContent(content);
    return content;
}

HostedWindowContent::HostedWindowContent(const std::shared_ptr<Window>& window, ui::AnyView root,
                                         bool printChanges, const std::shared_ptr<WindowPresenter>& presenter)
    : window_(window), printChanges_(printChanges) {
    const Size size = window->contentSize();
    host_ = std::make_shared<ui::Host>(
        std::move(root),
        ui::HostOptions{ui::Size{size.width, size.height}, presenter ? presenter->textMetrics() : nullptr});
    if (presenter) presentation_ = presenter->present(window, host_);
    // Set after the presentation, which may have put its own handler in: this content forwards
    // every redraw to it. The host outlives no window content, so the handler may capture this.
    host_->setDisplayHandler([this] { displayed(); });
}

HostedWindowContent::~HostedWindowContent() {
    // The desktop window goes first; the host then has no one left to tell about redraws.
    presentation_.reset();
    host_->setDisplayHandler({});
}

void HostedWindowContent::windowDidResize(Size contentSize) {
    host_->setContentSize(ui::Size{contentSize.width, contentSize.height});
    if (presentation_) presentation_->contentResized(contentSize);
}

void HostedWindowContent::update() {
    host_->update();
    if (presentation_) presentation_->update();
}

bool HostedWindowContent::performAction(const std::string& action) {
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
