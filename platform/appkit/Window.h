// A desktop window: its frame (the whole window, title strip included) and content size, its
// standard title-strip buttons with their enabled flags, key and main status, and the content it
// shows. Windows belong to Application::shared(), which lists them from creation until close().
// Main thread only.
#pragma once

#include "platform/appkit/WindowContent.h"
#include "platform/geometry/ScreenRect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// The kinds of standard title-strip buttons, with the platform's values.
enum class WindowButtonType { closeButton = 0, miniaturizeButton = 1, zoomButton = 2 };

// One standard title-strip button. Disabling the zoom button also disables zooming the window.
class WindowButton {
public:
    explicit WindowButton(WindowButtonType type) : type_(type) {}
    WindowButtonType type() const { return type_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

private:
    WindowButtonType type_;
    bool enabled_ = true;
};

// Which standard parts a window has. A window that is not titled has no title strip and no buttons.
struct WindowStyle {
    bool titled = true;
    bool closable = true;
    bool miniaturizable = true;
    bool resizable = true; // resizable windows have a zoom button
};

class Window : public std::enable_shared_from_this<Window> {
public:
    // Height of the title strip of a titled window, in points; it is part of the frame.
    static constexpr double kTitleStripHeight = 28;

    // A new, not yet visible window whose content area is `contentRect`; it joins the
    // application's window list at once.
    static std::shared_ptr<Window> make(ScreenRect contentRect, WindowStyle style = {});
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // A name the scene layer gives the window ("main", "settings"); not shown.
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    const WindowStyle& style() const { return style_; }

    // The whole window, title strip included, origin at the lower-left corner.
    ScreenRect frame() const { return frame_; }
    // Moves and sizes the whole window; `display` redraws it at once. A rectangle with a negative or
    // non-finite part is refused (the frame stays as it was); returns whether it was taken.
    bool setFrame(ScreenRect frame, bool display);
    // The content area's size: the frame without the title strip.
    Size contentSize() const;
    // Sizes the content area and grows or shrinks the frame around it, keeping the window's top-left
    // corner where it is. Refuses invalid sizes as setFrame does.
    bool setContentSize(Size size);
    ScreenRect frameRectForContentRect(ScreenRect contentRect) const;
    ScreenRect contentRectForFrameRect(ScreenRect frameRect) const;

    // The standard button of that kind, or null when the window has none.
    WindowButton* standardWindowButton(WindowButtonType type);

    // Class-wide: whether windows are gathered into tabs automatically. The shell never tabs; the
    // setting is kept so the application's choice can be read back.
    static bool allowsAutomaticWindowTabbing();
    static void setAllowsAutomaticWindowTabbing(bool allows);

    // Shows the window and makes it the key window, and the main window when it can be one.
    void makeKeyAndOrderFront();
    // Hides the window; it stays in the application's list.
    void orderOut();
    // Hides the window and removes it from the application's list for good.
    void close();
    // What the title strip's close button and the Close item do: close(), and the application
    // terminates when that was its last window. While the content shows a sheet the request is the
    // sheet's: the sheet closes and the window stays.
    void performClose();
    bool isVisible() const { return visible_; }
    bool isKeyWindow() const;
    bool isMainWindow() const;
    bool canBecomeMainWindow() const { return style_.titled; }

    // Zooms between the standard size and the previous frame, as the zoom button does; nothing
    // happens while the window has no enabled zoom button. Returns whether the frame changed.
    bool zoom();
    bool isZoomed() const { return zoomed_; }
    // Minimises the window into the desktop's list of windows; the desktop window follows on the
    // next update pass. The user restoring it there, or makeKeyAndOrderFront(), deminiaturizes it.
    void miniaturize() { miniaturized_ = true; }
    void deminiaturize() { miniaturized_ = false; }
    bool isMiniaturized() const { return miniaturized_; }
    // How often the window was ordered front so far: the desktop window raises itself for each.
    uint64_t orderFrontCount() const { return orderFrontCount_; }

    // Redraws the window now; counts the redraws so callers can tell a resize was displayed.
    void display() { ++displayCount_; }
    size_t displayCount() const { return displayCount_; }

    // What the window shows; told the content size now and after every resize.
    void setContent(std::shared_ptr<WindowContent> content);
    const std::shared_ptr<WindowContent>& content() const { return content_; }

private:
    Window(ScreenRect frame, WindowStyle style);
    double titleStrip() const { return style_.titled ? kTitleStripHeight : 0; }
    void frameDidChange(bool sizeChanged, bool display);

    std::string title_;
    std::string identifier_;
    WindowStyle style_;
    ScreenRect frame_;
    ScreenRect unzoomedFrame_;
    bool zoomed_ = false;
    bool visible_ = false;
    bool miniaturized_ = false;
    uint64_t orderFrontCount_ = 0;
    size_t displayCount_ = 0;
    std::unique_ptr<WindowButton> closeButton_;
    std::unique_ptr<WindowButton> miniaturizeButton_;
    std::unique_ptr<WindowButton> zoomButton_;
    std::shared_ptr<WindowContent> content_;
};

} // namespace plat
