#include "platform/ui/ScrollLayout.h"

#include "platform/ui/Layout.h"

#include <algorithm>

namespace plat::ui::detail {

namespace {

bool placed(const Rect& f) {
    return !(f.width <= 0 && f.height <= 0 && f.x == 0 && f.y == 0);
}

// Transparent nodes are stepped over by their parents and cover what their children cover; the
// ones below the view take their children's new frames.
void cover(Node& n, bool isTop) {
    for (auto& c : n.children)
        cover(*c, false);
    const ViewKind k = n.data->kind;
    if (isTop || !(isTransparent(k) || k == ViewKind::Sheet || k == ViewKind::Alert)) return;
    bool any = false;
    Rect u;
    for (auto& c : n.children) {
        const Rect& f = c->frame;
        if (!placed(f)) continue;
        if (!any) {
            u = f;
            any = true;
            continue;
        }
        const double x0 = std::min(u.x, f.x), y0 = std::min(u.y, f.y);
        const double x1 = std::max(u.maxX(), f.maxX()), y1 = std::max(u.maxY(), f.maxY());
        u = {x0, y0, x1 - x0, y1 - y0};
    }
    n.frame = u;
}

} // namespace

void placeScrolled(Node& view, const TextMetrics& metrics) {
    LayoutEngine engine(metrics);
    engine.place(view, view.frame);
    cover(view, true);
}

} // namespace plat::ui::detail
