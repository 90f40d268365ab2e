// One application window on the desktop showing a toolkit tree: it keeps the tree's content size in
// step with the window, draws the tree whenever it changed, hands clicks, keys and typed text to
// the tree, and shows each presented sheet as a modal child window over this one (input to this
// window waits while a sheet is open, and the keyboard this window is given goes on to the sheet on
// top). A sheet window stands where the toolkit laid the sheet out (centred on this window) and
// moves and resizes with it; its input is mapped through the geometry it was last drawn with. The
// window keeps at least its content's minimum size. An open menu's row under the pointer is
// highlighted, until a key moves the highlight. Main thread only.
#pragma once

#include "platform/render/Surface.h"
#include "platform/render/ui/TreePainter.h"
#include "platform/ui/RootHost.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace plat::render {

class HostWindow {
public:
    // `host` is the tree; `focused` (optional) names its focused text field for the caret.
    HostWindow(std::shared_ptr<ui::RootHost> host, WindowOptions options,
               std::function<ui::NodeRef()> focused = {});
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    Surface& surface() { return *surface_; }
    ui::RootHost& host() { return *host_; }
    // The open sheet windows, oldest first.
    size_t sheetCount() const { return sheets_.size(); }
    Surface* sheet(size_t index) { return index < sheets_.size() ? sheets_[index].get() : nullptr; }

    // Called when the user asks to close the window; without a handler the request is ignored.
    void setCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }
    // Called with true when this window or one of its sheets gains the keyboard while none of them
    // had it, and with false when the last of them loses it.
    void setFocusHandler(std::function<void(bool focused)> handler) { onFocus_ = std::move(handler); }

    // Updates and draws now (the event loop does this by itself when the tree changes).
    void display();
    // Writes the window, and each open sheet as "<stem>-sheet<N>.png" beside it.
    bool writeScreenshots(const std::filesystem::path& path);

private:
    void handle(const InputEvent& e, Point origin);
    // The open menu's row under the pointer that can be chosen, or -1.
    int hoveredRow(const ui::MenuPopup& popup) const;
    void focusChanged(const Surface* surface, bool focused);
    void syncSheets();

    std::shared_ptr<ui::RootHost> host_;
    std::unique_ptr<Surface> surface_;
    std::vector<std::unique_ptr<Surface>> sheets_;
    // Where each open sheet was last drawn, in this window's points.
    std::vector<Rect> sheetFrames_;
    TreePainter painter_;
    std::function<void()> onClose_;
    std::function<void(bool)> onFocus_;
    // The surfaces (this window's and its sheets') that have the keyboard.
    std::vector<const Surface*> focusedSurfaces_;
    // The last press of the first button, whether it is still held, and how many presses in quick
    // succession in one place it ended.
    Point pressed_;
    bool pressedValid_ = false;
    std::chrono::steady_clock::time_point lastPress_;
    int clicks_ = 0;
    // Where the pointer last moved, in this window's points, until a key is pressed; and the open
    // menu's row it was last drawn over.
    std::optional<Point> pointer_;
    int hoveredDrawn_ = -1;
    // While something in the tree moves by itself (a map's camera), a redraw is queued after each
    // frame; the flag keeps it to one, `alive_` lets a queued one outlive the window safely.
    bool redrawQueued_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace plat::render
