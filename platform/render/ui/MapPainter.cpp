#include "platform/render/ui/MapPainter.h"

#include "platform/render/FontBook.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace plat::render {

namespace {

constexpr double kTitleSize = 11;
const RGBA kWhite{1, 1, 1, 1};
const RGBA kTitle = RGBA::rgb(0x1C1C1E);

Point at(Rect area, Point p) {
    return {area.x + p.x, area.y + p.y};
}

uint8_t channel(float v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
}

// Blends `c` over the pixel at (x, y) with coverage `alpha`.
void blend(Bitmap& b, int x, int y, const RGBA& c, float alpha) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
    uint8_t* p =
        &b.rgba[(static_cast<size_t>(y) * static_cast<size_t>(b.width) + static_cast<size_t>(x)) * 4];
    const float a = std::clamp(alpha * c.a, 0.0f, 1.0f);
    p[0] = static_cast<uint8_t>(std::lround(p[0] * (1 - a) + channel(c.r) * a));
    p[1] = static_cast<uint8_t>(std::lround(p[1] * (1 - a) + channel(c.g) * a));
    p[2] = static_cast<uint8_t>(std::lround(p[2] * (1 - a) + channel(c.b) * a));
}

// A coast segment one pixel wide, stepped along its longer axis.
void line(Bitmap& b, Point from, Point to, const RGBA& c, double width) {
    const double dx = to.x - from.x, dy = to.y - from.y;
    const int steps = static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy))));
    // A line thinner than a pixel covers it in part.
    const auto alpha = static_cast<float>(std::min(1.0, width));
    for (int i = 0; i <= steps; ++i) {
        const double t = steps == 0 ? 0 : static_cast<double>(i) / steps;
        blend(b, static_cast<int>(std::floor(from.x + dx * t)), static_cast<int>(std::floor(from.y + dy * t)),
              c, alpha);
    }
}

// A disc of radius `r` around `c` with smooth edges.
void disc(Bitmap& b, Point c, double r, const RGBA& colour) {
    for (int y = static_cast<int>(std::floor(c.y - r - 1)); y <= static_cast<int>(std::ceil(c.y + r + 1));
         ++y)
        for (int x = static_cast<int>(std::floor(c.x - r - 1)); x <= static_cast<int>(std::ceil(c.x + r + 1));
             ++x) {
            const double d = std::hypot(x + 0.5 - c.x, y + 0.5 - c.y);
            const auto cover = static_cast<float>(std::clamp(r - d + 0.5, 0.0, 1.0));
            if (cover > 0) blend(b, x, y, colour, cover);
        }
}

// A circle of radius `r` around `c`, stroked `width` wide on its outline.
void ring(Bitmap& b, Point c, double r, double width, const RGBA& colour) {
    const double reach = r + width;
    for (int y = static_cast<int>(std::floor(c.y - reach - 1));
         y <= static_cast<int>(std::ceil(c.y + reach + 1)); ++y)
        for (int x = static_cast<int>(std::floor(c.x - reach - 1));
             x <= static_cast<int>(std::ceil(c.x + reach + 1)); ++x) {
            const double d = std::hypot(x + 0.5 - c.x, y + 0.5 - c.y);
            const auto cover = static_cast<float>(std::clamp(width / 2 + 0.5 - std::fabs(d - r), 0.0, 1.0));
            if (cover > 0) blend(b, x, y, colour, cover);
        }
}

// A pin into the picture: its stem, the dot where it stands and its round head with a white rim,
// and a white centre unless a symbol goes there.
void pictureMarker(Bitmap& b, const map::PlacedMarker& placed) {
    const RGBA& tint = placed.marker.tint;
    const Point head = placed.head();
    const double r = MapPainter::headRadius(placed);
    for (double dx : {-0.5, 0.5})
        line(b, {head.x + dx, head.y + r - 1}, {placed.anchor.x + dx, placed.anchor.y}, tint, 1);
    disc(b, placed.anchor, 2, tint);
    disc(b, head, r, tint);
    const RGBA white{1, 1, 1, 1};
    ring(b, head, r, 1.5, white);
    if (placed.marker.symbolName.empty()) disc(b, head, 3, white);
}

// What the picture cannot hold: a marker's symbol and its title, drawn over it.
void paintMarkerLabels(const map::PlacedMarker& placed, Rect area, DisplayList& list, float opacity) {
    const Point anchor = at(area, placed.anchor);
    const Point head = at(area, placed.head());
    const double r = MapPainter::headRadius(placed);
    if (!placed.marker.symbolName.empty()) {
        const double s = r * 1.1;
        list.symbol({head.x - s / 2, head.y - s / 2, s, s}, placed.marker.symbolName,
                    kWhite.withAlpha(opacity));
    }
    if (placed.marker.title.empty()) return;
    const Font font{kTitleSize, true};
    const double width = FontBook::shared().measure(placed.marker.title, font).width;
    list.text({anchor.x - width / 2, anchor.y + 3}, placed.marker.title, font, kTitle.withAlpha(opacity));
}

} // namespace

double MapPainter::headRadius(const map::PlacedMarker& marker) {
    const double r = map::PlacedMarker::kHeadRadius;
    return marker.selected ? r * 1.25 : r;
}

std::shared_ptr<const Bitmap> MapPainter::background(const map::MapDrawList& frame) {
    const int w = static_cast<int>(std::ceil(frame.viewSize.width));
    const int h = static_cast<int>(std::ceil(frame.viewSize.height));
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return nullptr;
    auto out = std::make_shared<Bitmap>(w, h);
    const RGBA& water = frame.style.water;
    const RGBA& land = frame.style.land;
    for (size_t i = 0; i < out->rgba.size(); i += 4) {
        out->rgba[i] = channel(water.r);
        out->rgba[i + 1] = channel(water.g);
        out->rgba[i + 2] = channel(water.b);
        out->rgba[i + 3] = 255;
    }
    for (const map::FillSpan& span : frame.landSpans()) {
        const int y = static_cast<int>(span.y);
        for (int x = std::max(0, static_cast<int>(span.x0)); x < std::min(w, static_cast<int>(span.x1)); ++x)
            blend(*out, x, y, land, 1);
    }
    if (frame.style.coastlineWidth > 0) {
        const double width = frame.style.coastlineWidth;
        for (const map::MapShape& shape : frame.land) {
            for (const map::MapRing& ring : shape.rings) {
                for (size_t i = 0; i < ring.size(); ++i) {
                    const Point& a = ring[i];
                    const Point& b = ring[(i + 1) % ring.size()];
                    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
                        !std::isfinite(b.y))
                        continue;
                    line(*out, a, b, frame.style.coastline, width);
                }
            }
        }
    }
    // The pins too, in order (later ones on top): hundreds of them cost a single picture.
    for (const map::PlacedMarker& marker : frame.markers)
        pictureMarker(*out, marker);
    return out;
}

void MapPainter::paint(const map::MapDrawList& frame, Rect area, DisplayList& list, float opacity,
                       std::shared_ptr<const Bitmap> pictured) {
    list.pushClip(area);
    if (!pictured) pictured = background(frame);
    if (pictured)
        list.add(cmd::Image{
            {area.x, area.y, static_cast<double>(pictured->width), static_cast<double>(pictured->height)},
            {},
            RGBA{1, 1, 1, opacity},
            std::move(pictured)});
    for (const map::PlacedMarker& marker : frame.markers)
        paintMarkerLabels(marker, area, list, opacity);
    list.popClip();
}

} // namespace plat::render
