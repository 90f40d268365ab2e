// The toolkit's renderer for real windows: turns the laid-out layers of a window into display
// lists. The content and its alerts make the window's list; each presented sheet gets a list of
// its own in its own coordinates, for the sheet's child window. Alerts go with the topmost sheet
// when one is open. Main thread only.
#pragma once

#include "platform/map/MapGeometry.h"
#include "platform/render/DisplayList.h"
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
        ui::Rect frame; // where the toolkit laid the sheet out, in the window's points
        DisplayList list;
    };

    // Images the bundle lacks are looked up among the country flags (once per process).
    TreePainter();

    void render(ui::Size contentSize, const std::vector<ui::RenderLayer>& layers) override;
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

    // The colour a toolkit colour shows as in the light or dark scheme.
    static Color resolve(const ui::Color& color, ui::ColorScheme scheme);

private:
    struct Context {
        float opacity = 1;
        float clipRadius = 0; // the corner radius of the innermost clip shape
        ui::Rect clipFrame;   // and its frame
        bool underline = false;
        std::optional<Color> underlineColor;
        std::optional<Color> roleColor; // a destructive button's text
        ui::ColorScheme scheme = ui::ColorScheme::Light;
    };

    void paintLayer(const ui::RenderLayer& layer, DisplayList& list, ui::Point offset);
    void paint(const ui::NodeRef& node, DisplayList& list, Context ctx);
    void paintChildren(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    // Paints the node unless it lies wholly outside `view` (a list's rows scrolled out of it).
    void paintVisible(const ui::NodeRef& node, const ui::Rect& view, DisplayList& list, const Context& ctx);
    void paintText(const ui::NodeRef& node, const std::string& text, ui::Rect frame, DisplayList& list,
                   const Context& ctx, std::optional<Color> color = std::nullopt);
    void paintImage(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    void paintShape(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    void paintButton(const ui::NodeRef& node, DisplayList& list, Context ctx);
    void paintField(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    // Where a control laid over the trailing part of a field begins (the field's end when none is).
    static double coveredFrom(const ui::NodeRef& field);
    void paintToggle(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    void paintPicker(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    void paintProgress(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    void paintMap(const ui::NodeRef& node, DisplayList& list, const Context& ctx);
    // The open popup's panel and rows into the list of the layer that holds its control.
    void paintPopup(const std::vector<ui::RenderLayer>& layers);

    Rect at(ui::Rect r) const;
    Color foreground(const ui::NodeRef& node, const Context& ctx) const;

    DisplayList window_;
    std::vector<SheetList> sheets_;
    std::function<ui::NodeRef()> focused_;
    std::optional<ui::MenuPopup> popup_;
    ui::Point offset_; // subtracted from every frame: a sheet's origin
    bool animating_ = false;
    // The map's last picture of water, land, coasts and pins, and what it shows.
    struct MapPicture {
        map::WorldRect rect;
        map::MapSize size;
        uint64_t pins = 0; // what the pins drawn in it were, summed up
        std::shared_ptr<const Bitmap> pixels;
    };
    MapPicture mapPicture_;
};

} // namespace plat::render
