#include "platform/ui/FieldSelection.h"

#include "platform/ui/NodeRef.h"
#include "platform/ui/Query.h"

namespace plat::ui {

double fieldTextEnd(const NodeRef& field, TextFieldStyle style) {
    const Rect f = field.frame();
    double end = f.maxX() - fieldTextInset(style);
    // Up through the modifiers wrapped around the field, looking at what their overlays put on it.
    for (NodeRef cur = field.parent(); cur; cur = cur.parent()) {
        const ViewKind k = cur.kind();
        if (k != ViewKind::Padding && k != ViewKind::Frame && k != ViewKind::Background &&
            k != ViewKind::Overlay && !isTransparent(k))
            break;
        if (k != ViewKind::Overlay) continue;
        const auto parts = cur.children();
        if (parts.size() < 2) continue;
        for (const NodeRef& control : parts[1].findAll(Query::kind(ViewKind::Button))) {
            const Rect c = control.frame();
            const bool overEnd = c.maxX() > f.maxX() - f.width / 2 && c.x < f.maxX() && c.maxY() > f.y &&
                                 c.y < f.maxY() && c.width > 0;
            if (overEnd) end = std::min(end, c.x);
        }
    }
    return end;
}

} // namespace plat::ui
