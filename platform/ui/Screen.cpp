#include "platform/ui/Screen.h"

namespace plat::ui::detail {

AnyView makeComponent(ComponentSpec spec) {
    auto d = std::make_shared<ViewData>();
    d->kind = ViewKind::Component;
    d->component = std::move(spec);
    return AnyView(std::move(d));
}

} // namespace plat::ui::detail
