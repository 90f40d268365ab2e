// The toolkit's renderer for real windows: turns the laid-out layers of a window into display
// lists. The content and its alerts make the window's list; each presented sheet gets a list of
// its own in its own coordinates, for the sheet's child window. Alerts go with the topmost sheet
// when one is open. The painter walks the tree; the views themselves are drawn by LeafPainting,
// ControlPainting and MenuPopupPainting in the colours of Palette. Main thread only.
#pragma once

#include "platform/map/WorldRect.h"
#include "platform/render/DisplayList.h"
#include "platform/render/ui/PaintContext.h"
#include "platform/ui/MenuPopup.h"
#include "platform/ui/NodeRef.h"
#include "platform/ui/Renderer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace plat::render {

class TreePainter : public ui::Renderer {
public:
    struct SheetList {
        Rect frame; // where the toolkit laid the sheet out, in the window's points
        DisplayList list;
    };

    // Images the bundle lacks are looked up among the country flags (once per process).
    TreePainter();

    void render(Size contentSize, const std::vector<ui::RenderLayer>& layers) override;
    // Whether the last render drew something in motion (a map's camera move): the window should
    // draw again soon.
    bool animating() const { return animating_; }

    const DisplayList& window() const { return window_; }
    const std::vector<SheetList>& sheets() const { return sheets_; }

    // The text field that has the keyboard focus (it shows a caret); none by default.
    void setFocusedField(std::function<ui::NodeRef()> focused) { focused_ = std::move(focused); }
    // The open menu's or picker's items, drawn by the next render above everything else in the
    // window or sheet that shows the control; none by default.
    void setMenuPopup(std::optional<ui::MenuPopup> popup) { popup_ = std::move(popup); }

private:
    void paintLayer(const ui::RenderLayer& layer, DisplayList& list, Point origin);
    void paint(const ui::NodeRef& node, DisplayList& list, PaintContext ctx);
    void paintChildren(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
    // Paints the node unless it lies wholly outside `view` (a list's rows scrolled out of it).
    void paintVisible(const ui::NodeRef& node, const Rect& view, DisplayList& list, const PaintContext& ctx);
    void paintMap(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
    // The open popup's panel and rows into the list of the layer that holds its control.
    void paintPopup(const std::vector<ui::RenderLayer>& layers);

    DisplayList window_;
    std::vector<SheetList> sheets_;
    std::function<ui::NodeRef()> focused_;
    std::optional<ui::MenuPopup> popup_;
    bool animating_ = false;
    // The map's last picture of water, land, coasts and pins, and what it shows.
    struct MapPicture {
        map::WorldRect rect;
        Size size;
        uint64_t pins = 0; // what the pins drawn in it were, summed up
        std::shared_ptr<const Bitmap> pixels;
    };
    MapPicture mapPicture_;
};

} // namespace plat::render
