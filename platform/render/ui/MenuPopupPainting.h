// The tree painter's drawing of an open menu's or picker's items: a shadowed panel with one row per
// item (a check mark at a picker's chosen entry, the item's icon, its title and shortcut) and thin
// rules between groups. Main thread only.
#pragma once

#include "platform/render/DisplayList.h"
#include "platform/render/ui/PaintContext.h"
#include "platform/ui/MenuPopup.h"

namespace plat::render {

// Draws `popup` into `list`, clipped to `bounds` (the toolkit frame of the window or sheet that
// shows the control); `ctx` places the frames and gives the colour scheme.
void paintMenuPopup(const ui::MenuPopup& popup, const Rect& bounds, DisplayList& list,
                    const PaintContext& ctx);

} // namespace plat::render
