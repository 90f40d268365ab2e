#include "app/views/SheetCloseButton.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Views.h"

using namespace plat::ui;

AnyView SheetCloseButton(std::function<void()> action) {
    AnyView label = SystemImage("xmark.circle.fill").resizable().frame(20, 20).foregroundColor(Color::gray());
    return Button(std::move(action), label).buttonStyle(ButtonStyle::Plain).testId("closeButton");
}
