// The views the update pass puts in the layers it presents: an alert's panel and a sheet's body.
// Main thread only.
#pragma once

#include "platform/ui/AnyView.h"
#include "platform/ui/Node.h"
#include "platform/ui/Presentation.h"

#include <functional>

namespace plat::ui::detail {

// The alert's panel: title, message and a row of buttons. Each button calls `dismiss` before its
// own action; a cancel button answers Escape, and the first button of another role Return. An alert
// without buttons gets a single "OK".
AnyView alertView(const Alert& alert, const std::function<void()>& dismiss);

// The body of the sheet rooted at `root`: a sheet has no title bar of its own, so the navigation
// title its content carries (root->sheetTitle) is shown as a heading above `content`.
std::function<AnyView()> sheetBody(Node* root, std::function<AnyView()> content);

} // namespace plat::ui::detail
