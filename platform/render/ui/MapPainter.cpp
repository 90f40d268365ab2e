#include "platform/render/ui/MapPainter.h"

#include "platform/render/FontBook.h"

#include <cmath>

namespace plat::render {

namespace {

constexpr float kTitleSize = 11;
const Color kWhite{1, 1, 1, 1};
const Color kTitle = Color::rgb(0x1C1C1E);

Point at(Rect area, map::MapPoint p) {
    return {area.x + static_cast<float>(p.x), area.y + static_cast<float>(p.y)};
}

void paintLand(const map::MapDrawList& frame, Rect area, DisplayList& list, float opacity) {
    const Color land = MapPainter::color(frame.style.land, opacity);
    for (const map::FillSpan& span : frame.landSpans())
        list.fillRect({area.x + static_cast<float>(span.x0), area.y + static_cast<float>(span.y),
                       static_cast<float>(span.x1 - span.x0), 1},
                      land);
    if (frame.style.coastlineWidth <= 0) return;
    const Color coast = MapPainter::color(frame.style.coastline, opacity);
    const auto width = static_cast<float>(frame.style.coastlineWidth);
    for (const map::MapShape& shape : frame.land) {
        for (const map::MapRing& ring : shape.rings) {
            for (size_t i = 0; i < ring.size(); ++i) {
                const map::MapPoint& a = ring[i];
                const map::MapPoint& b = ring[(i + 1) % ring.size()];
                if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
                    continue;
                list.add(cmd::Line{at(area, a), at(area, b), coast, width});
            }
        }
    }
}

void paintMarker(const map::PlacedMarker& placed, Rect area, DisplayList& list, float opacity) {
    const Color tint = MapPainter::color(placed.marker.tint, opacity);
    const Point anchor = at(area, placed.anchor);
    const Point head = at(area, placed.head());
    const float r = MapPainter::headRadius(placed);
    list.add(cmd::Line{{head.x, head.y + r - 1}, anchor, tint, 2});
    list.add(cmd::FillEllipse{{anchor.x - 2, anchor.y - 2, 4, 4}, tint});
    const Rect circle{head.x - r, head.y - r, 2 * r, 2 * r};
    list.add(cmd::FillEllipse{circle, tint});
    list.add(cmd::StrokeEllipse{circle, kWhite.withAlpha(opacity), 1.5f});
    if (!placed.marker.symbolName.empty()) {
        const float s = r * 1.1f;
        list.symbol({head.x - s / 2, head.y - s / 2, s, s}, placed.marker.symbolName,
                    kWhite.withAlpha(opacity));
    } else {
        list.add(cmd::FillEllipse{{head.x - 3, head.y - 3, 6, 6}, kWhite.withAlpha(opacity)});
    }
    if (placed.marker.title.empty()) return;
    const Font font{kTitleSize, true};
    const float width = FontBook::shared().measure(placed.marker.title, font).width;
    list.text({anchor.x - width / 2, anchor.y + 3}, placed.marker.title, font, kTitle.withAlpha(opacity));
}

} // namespace

float MapPainter::headRadius(const map::PlacedMarker& marker) {
    const auto r = static_cast<float>(map::PlacedMarker::kHeadRadius);
    return marker.selected ? r * 1.25f : r;
}

void MapPainter::paint(const map::MapDrawList& frame, Rect area, DisplayList& list, float opacity) {
    list.pushClip(area);
    list.fillRect(area, color(frame.style.water, opacity));
    paintLand(frame, area, list, opacity);
    for (const map::PlacedMarker& marker : frame.markers)
        paintMarker(marker, area, list, opacity);
    list.popClip();
}

} // namespace plat::render
