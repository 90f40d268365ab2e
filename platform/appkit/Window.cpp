#include "platform/appkit/Window.h"

#include "platform/appkit/Application.h"

namespace plat {

namespace {

// The screen area a zoomed window fills: a 1920 by 1080 display without its menu bar.
constexpr ScreenRect kVisibleScreenFrame{{0, 0}, {1920, 1055}};

bool automaticTabbing = true;

} // namespace

std::shared_ptr<Window> Window::make(ScreenRect contentRect, WindowStyle style) {
    if (!contentRect.isValid()) contentRect = ScreenRect{};
    const double strip = style.titled ? kTitleStripHeight : 0;
    const ScreenRect frame{contentRect.origin, {contentRect.size.width, contentRect.size.height + strip}};
    std::shared_ptr<Window> window(new Window(frame, style));
    Application::shared().windowCreated(window);
    return window;
}

Window::Window(ScreenRect frame, WindowStyle style) : style_(style), frame_(frame), unzoomedFrame_(frame) {
    if (style_.titled) {
        if (style_.closable) closeButton_ = std::make_unique<WindowButton>(WindowButtonType::closeButton);
        if (style_.miniaturizable)
            miniaturizeButton_ = std::make_unique<WindowButton>(WindowButtonType::miniaturizeButton);
        if (style_.resizable) zoomButton_ = std::make_unique<WindowButton>(WindowButtonType::zoomButton);
    }
}

Window::~Window() = default;

bool Window::setFrame(ScreenRect frame, bool display) {
    if (!frame.isValid()) return false;
    const bool sizeChanged = !(frame.size == frame_.size);
    frame_ = frame;
    zoomed_ = false;
    frameDidChange(sizeChanged, display);
    return true;
}

Size Window::contentSize() const {
    return contentRectForFrameRect(frame_).size;
}

bool Window::setContentSize(Size size) {
    if (!size.isValid()) return false;
    ScreenRect frame = frameRectForContentRect(ScreenRect{frame_.origin, size});
    // The origin is the lower-left corner: keeping the top edge still moves the origin.
    frame.origin.y = frame_.maxY() - frame.size.height;
    const bool sizeChanged = !(frame.size == frame_.size);
    frame_ = frame;
    zoomed_ = false;
    frameDidChange(sizeChanged, false);
    return true;
}

ScreenRect Window::frameRectForContentRect(ScreenRect contentRect) const {
    return ScreenRect{contentRect.origin, {contentRect.size.width, contentRect.size.height + titleStrip()}};
}

ScreenRect Window::contentRectForFrameRect(ScreenRect frameRect) const {
    const double height = frameRect.size.height > titleStrip() ? frameRect.size.height - titleStrip() : 0;
    return ScreenRect{frameRect.origin, {frameRect.size.width, height}};
}

WindowButton* Window::standardWindowButton(WindowButtonType type) {
    switch (type) {
    case WindowButtonType::closeButton:
        return closeButton_.get();
    case WindowButtonType::miniaturizeButton:
        return miniaturizeButton_.get();
    case WindowButtonType::zoomButton:
        return zoomButton_.get();
    }
    return nullptr;
}

bool Window::allowsAutomaticWindowTabbing() {
    return automaticTabbing;
}
void Window::setAllowsAutomaticWindowTabbing(bool allows) {
    automaticTabbing = allows;
}

void Window::makeKeyAndOrderFront() {
    visible_ = true;
    miniaturized_ = false;
    ++orderFrontCount_;
    Application::shared().windowOrderedFront(shared_from_this());
}

void Window::orderOut() {
    if (!visible_) return;
    visible_ = false;
    Application::shared().windowOrderedOut(*this);
}

void Window::close() {
    visible_ = false;
    Application::shared().windowClosed(*this);
}

void Window::performClose() {
    // A sheet is modal: the user's close aims at it, never at the window under it.
    if (content_ && content_->closeTopSheet()) return;
    // The list may hold the last reference to this window.
    auto keep = shared_from_this();
    close();
    auto& application = Application::shared();
    if (application.windows().empty()) application.terminate();
}

bool Window::isKeyWindow() const {
    return Application::shared().keyWindow().get() == this;
}
bool Window::isMainWindow() const {
    return Application::shared().mainWindow().get() == this;
}

bool Window::zoom() {
    if (!zoomButton_ || !zoomButton_->isEnabled()) return false;
    if (zoomed_) {
        const ScreenRect previous = unzoomedFrame_;
        setFrame(previous, true);
        return true;
    }
    unzoomedFrame_ = frame_;
    setFrame(kVisibleScreenFrame, true);
    zoomed_ = true;
    return true;
}

void Window::setContent(std::shared_ptr<WindowContent> content) {
    content_ = std::move(content);
    if (content_) content_->windowDidResize(contentSize());
}

void Window::frameDidChange(bool sizeChanged, bool display) {
    if (sizeChanged && content_) content_->windowDidResize(contentSize());
    if (display) this->display();
}

} // namespace plat
