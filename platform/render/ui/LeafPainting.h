// The tree painter's drawing of the views that have no children to paint: text, images, shapes,
// dividers and colour fills. Each draws one node into a display list with what its ancestors handed
// down; main thread only, like the painter.
#pragma once

#include "platform/render/DisplayList.h"
#include "platform/render/ui/PaintContext.h"
#include "platform/ui/NodeRef.h"
#include "platform/ui/Shape.h"

#include <optional>
#include <string>

namespace plat::render {

// `text` laid into `frame` (a toolkit frame) in the node's font: wrapped where the frame has room
// for a second line, else cut short with an ellipsis; a block shorter than the frame is centred
// vertically. `color`, when given, replaces the node's foreground.
void paintText(const ui::NodeRef& node, const std::string& text, const Rect& frame, DisplayList& list,
               const PaintContext& ctx, std::optional<RGBA> color = std::nullopt);
// The longest start of `text` that fits `width` with an ellipsis after it (the whole text when it
// fits as it is).
std::string truncated(const std::string& text, const Font& font, double width);

void paintImage(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
void paintShape(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
// A hairline across the middle of the divider's frame, along its longer side.
void paintDivider(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
// A colour view's fill; rounded like the clip shape around it when it fills that shape.
void paintColor(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
// The border a node carries, rounded like the clip shape around it when it outlines that shape.
void paintBorder(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);

// The corner radius `shape` has in `frame`.
double cornerRadius(const ui::Shape& shape, const Rect& frame);

} // namespace plat::render
