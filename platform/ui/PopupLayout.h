// Lays out the panel of the menu or picker that is open in a view graph (see MenuPopup).
#pragma once

#include "platform/ui/MenuPopup.h"

#include <optional>

namespace plat::ui::detail {

class ViewGraph;

// None when nothing is open, or the open control has no frame (not placed this pass).
std::optional<MenuPopup> layoutPopup(const ViewGraph& graph);

} // namespace plat::ui::detail
