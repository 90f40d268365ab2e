#include "platform/ui/Screen.h"

namespace plat::ui::detail {

AnyView makeComponent(ComponentSpec desc) {
    auto d = makeViewData(ViewKind::Component);
    d->component = std::move(desc);
    return AnyView(std::move(d));
}

} // namespace plat::ui::detail
