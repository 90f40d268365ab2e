// Places a list's or scroll view's content again after its scroll offset changed, without a
// layout pass over the window: the view keeps its frame, its content moves.
#pragma once

#include "platform/ui/Node.h"
#include "platform/ui/TextMetrics.h"

namespace plat::ui::detail {

void placeScrolled(Node& view, const TextMetrics& metrics);

} // namespace plat::ui::detail
