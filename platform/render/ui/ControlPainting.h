// The tree painter's drawing of controls: button bezels, text fields with their caret, check boxes
// and switches, menu pickers and progress indicators. Each draws the control's own parts; the
// painter paints the label children that a button, toggle or progress view shows. Main thread only.
#pragma once

#include "platform/render/DisplayList.h"
#include "platform/render/ui/PaintContext.h"
#include "platform/ui/NodeRef.h"

namespace plat::render {

// A bordered button's bezel. Returns the context its label is painted with (the role's or the
// default button's text colour).
PaintContext paintButton(const ui::NodeRef& node, DisplayList& list, PaintContext ctx);
// The keyboard focus ring around a control's `frame` (a toolkit frame) whose corners have `radius`:
// a band of the window's background around the control, then the ring in the accent colour, so the
// ring stands apart also from a control drawn in that colour.
void paintFocusRing(const Rect& frame, double radius, DisplayList& list, const PaintContext& ctx);
// A text or secure field: its border, its text (bullets for a secure one) or placeholder, and the
// caret or selection when `focused`.
void paintField(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx, bool focused);
// A check box at the leading edge or a switch at the trailing edge, without the label.
void paintToggle(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
// A menu picker: its label, then a bezel with the chosen entry's text and a chevron.
void paintPicker(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);
// A determinate bar, or a spinner above the label, without the label.
void paintProgress(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx);

} // namespace plat::render
