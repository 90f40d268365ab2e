// The renderer's face towards the window layer: one on-screen window that draws display lists,
// reports input and writes screenshots. The toolkit does hit-testing and focus from the events; the
// renderer only edits text fields and runs alert buttons itself. A replaceable leaf: the window
// layer sees only this interface. Main thread only.
#pragma once

#include "platform/render/DisplayList.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat::render {

struct InputEvent {
    enum class Kind {
        MouseDown,   // position, button
        MouseUp,     // position, button
        MouseMove,   // position
        Scroll,      // position, dx/dy in lines (positive dy: towards the top)
        Key,         // key (printable keys as their upper-case ASCII code), mods; presses and repeats
        Character,   // codepoint, typed text not taken by a text field
        TextEdited,  // id, text: a text field's new value
        AlertButton, // index: the pressed button of the shown alert
        CloseRequest // the user asked to close the window
    };
    Kind kind = Kind::MouseMove;
    Point position;
    int button = 0; // 0 left, 1 right, 2 middle
    double dx = 0, dy = 0;
    int key = 0;
    int mods = 0;
    uint32_t codepoint = 0;
    std::string id;
    std::string text;
    int index = -1;
    // For Key: a text field had the keyboard when the key came (the toolkit should not treat
    // editing keys as its own; Return, Escape and Tab are still its to use).
    bool textFieldActive = false;
};

// Key codes the toolkit needs; printable keys use their ASCII code.
namespace keys {
constexpr int Return = 257, Escape = 256, Tab = 258, Backspace = 259, Delete = 261, Left = 263, Right = 262,
              Up = 265, Down = 264, Home = 268, End = 269, KeypadEnter = 335, Space = 32;
constexpr int ModShift = 1, ModControl = 2, ModAlt = 4, ModSuper = 8;
} // namespace keys

struct WindowOptions {
    std::string title;
    Size contentSize{800, 500};
    bool resizable = true;
    bool visible = true;
    // A sheet: placed over this window, which takes no input while the sheet is open.
    class Surface* parent = nullptr;
};

class Surface {
public:
    virtual ~Surface() = default;

    // A window the application sizes, moves or shows lies whole, the window manager's frame
    // included, in the work area of the monitor that shows most of it (the monitor without the
    // panels the window manager keeps clear): it moves only as far as that takes, and one larger
    // than the work area keeps its top-left corner in it. Where the user drags it is up to them.

    // Content area in points.
    virtual Size contentSize() const = 0;
    virtual void setContentSize(Size size) = 0;
    // The whole window as the desktop sees it: the content plus the frame the window manager
    // draws around it (none under a bare X server). Setting it keeps the top-left corner.
    virtual Size frameSize() const = 0;
    virtual void setFrameSize(Size size) = 0;
    // The top-left corner of the content area on the screen; after setPosition() the place asked
    // for until the desktop reports it (or a second has passed).
    virtual Point position() const = 0;
    virtual void setPosition(Point position) = 0;
    // The smallest content size the user can give the window by dragging its edges. Setting the
    // same size again is cheap; setContentSize() below it lowers it to that size.
    virtual void setMinimumContentSize(Size size) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    // Minimised by the window manager: off screen but kept in the desktop's list of windows, from
    // where the user restores it. Asynchronous: isIconified() follows once the window manager has
    // done it, and without a window manager (a bare X server) it never does.
    virtual void setIconified(bool iconified) = 0;
    virtual bool isIconified() const = 0;
    // Whether the window manager may maximise the window (its maximise button and commands). A
    // window that may not, yet was maximised all the same, is restored by restoreFromMaximised().
    virtual void setMaximizable(bool maximizable) = 0;
    virtual bool isMaximized() const = 0;
    virtual void restoreFromMaximized() = 0;
    // Raises the window over the others and asks for the keyboard, restoring it when minimised.
    virtual void bringToFront() = 0;
    // The window's icon, from a bundle image; false when no such image exists.
    virtual bool setIconImage(const std::string& imageName) = 0;

    // Draws one frame now and keeps the list for redraws and screenshots.
    virtual void present(const DisplayList& list) = 0;
    // Asks the event loop to call the display handler before it next waits.
    virtual void setNeedsDisplay() = 0;
    // Called by the event loop when the window needs a new frame; it should build a list and call
    // present(). Without a handler the last list is redrawn.
    virtual void setDisplayHandler(std::function<void(Surface&)> handler) = 0;
    virtual void setEventHandler(std::function<void(const InputEvent&)> handler) = 0;
    // Called by the event loop, like the event handler, when the window gains (true) or loses
    // (false) the keyboard; reported even while a sheet keeps input away from the window.
    virtual void setFocusHandler(std::function<void(bool focused)> handler) = 0;

    // Writes the window's content as a PNG (in pixels, which are points here). Redraws the last
    // list first. False when the file cannot be written.
    virtual bool writeScreenshot(const std::filesystem::path& path) = 0;
    // The RGBA pixels of the last frame as read back from the window (row 0 at the top).
    virtual std::vector<uint8_t> readPixels(int* width, int* height) = 0;

    // Whether this window currently takes input (false while a sheet is open over it).
    virtual bool acceptsInput() const = 0;
    virtual Surface* parent() const = 0;
};

} // namespace plat::render
