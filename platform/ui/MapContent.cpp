#include "platform/ui/MapContent.h"

#include "platform/ui/ViewData.h"

namespace plat::ui {

AnyView Map(MapContent content) {
    auto d = makeViewData(ViewKind::MapView);
    d->controls->map = std::make_shared<const MapContent>(std::move(content));
    return AnyView(std::move(d));
}

} // namespace plat::ui
