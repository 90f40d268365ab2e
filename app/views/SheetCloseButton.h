// The close button of the main window's sheets (settings, plans, devices): a grey
// "xmark.circle.fill" symbol, 20 by 20 points, in a plain button. Each sheet wraps it in its own
// header row. Main thread only.
#pragma once

#include "platform/ui/AnyView.h"

#include <functional>

// The button; `action` runs on each press.
plat::ui::AnyView SheetCloseButton(std::function<void()> action);
