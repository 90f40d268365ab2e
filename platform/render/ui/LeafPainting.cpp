#include "platform/render/ui/LeafPainting.h"

#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/Palette.h"
#include "platform/ui/ViewData.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plat::render {

namespace {

// A label's title is one line: what does not fit is cut short rather than wrapped.
bool singleLine(const ui::NodeRef& node) {
    return node.kind() == ui::ViewKind::Label ||
           (node.parent() && node.parent().kind() == ui::ViewKind::Label);
}

bool sameFrame(const Rect& a, const Rect& b) {
    return std::fabs(a.x - b.x) < 0.5 && std::fabs(a.y - b.y) < 0.5 && std::fabs(a.width - b.width) < 0.5 &&
           std::fabs(a.height - b.height) < 0.5;
}

// The clip shape's radius when `frame` fills that shape, else square corners.
double clipRadiusFor(const Rect& frame, const PaintContext& ctx) {
    return ctx.clipRadius > 0 && sameFrame(frame, ctx.clipFrame) ? ctx.clipRadius : 0;
}

} // namespace

double cornerRadius(const ui::Shape& shape, const Rect& frame) {
    const double half = std::min(frame.width, frame.height) * 0.5;
    switch (shape.kind) {
    case ui::Shape::Kind::Rectangle:
        return 0;
    case ui::Shape::Kind::RoundedRectangle:
        return std::min(half, shape.cornerRadius);
    case ui::Shape::Kind::Capsule:
    case ui::Shape::Kind::Circle:
        return half;
    }
    return 0;
}

std::string truncated(const std::string& text, const Font& font, double width) {
    const FontBook& book = FontBook::shared();
    if (book.measure(text, font).width <= width) return text;
    // Cut only between code points.
    std::vector<size_t> cuts;
    for (size_t i = 1; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) cuts.push_back(i);
    size_t lo = 0, hi = cuts.size(); // the first `lo` cuts fit; none beyond `hi` does
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (book.measure(text.substr(0, cuts[mid - 1]) + "\u2026", font).width <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo == 0 ? std::string("\u2026") : text.substr(0, cuts[lo - 1]) + "\u2026";
}

void paintText(const ui::NodeRef& node, const std::string& text, const Rect& frame, DisplayList& list,
               const PaintContext& ctx, std::optional<RGBA> color) {
    if (text.empty()) return;
    const Font font = FontMetrics::fontFor(node.environment().effectiveFont());
    const double lineHeight = FontMetrics::lineHeightFor(font.size);
    const Rect r = ctx.inWindow(frame);
    cmd::Text t;
    t.text = text;
    t.font = font;
    t.color = color ? palette::faded(*color, ctx.opacity) : ctx.foreground(node);
    t.lineHeight = lineHeight;
    // The layout decides the lines: text wraps within its frame where the frame has room for a
    // second line; a line that cannot wrap ends in an ellipsis instead of running past the frame.
    const double natural = FontBook::shared().measure(text, font).width;
    if (natural > r.width + 0.5 && r.width > 0) {
        if (r.height + 0.5 >= 2 * lineHeight && !singleLine(node))
            t.wrapWidth = r.width;
        else
            t.text = truncated(text, font, r.width + 0.5);
    }
    // Lines stack from the top; a frame taller than the text centres the block.
    size_t lines = 1;
    if (t.wrapWidth > 0) {
        const double h = FontBook::shared().measure(text, font, t.wrapWidth).height;
        lines = static_cast<size_t>(std::max(1.0, std::round(h / font.size)));
    } else {
        lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    }
    const double block = lineHeight * static_cast<double>(lines);
    t.origin = {r.x, r.y + std::max(0.0, (r.height - block) / 2)};
    t.underline = ctx.underline;
    t.underlineColor = ctx.underlineColor ? palette::faded(*ctx.underlineColor, ctx.opacity) : t.color;
    list.add(std::move(t));
}

void paintImage(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const ui::ViewData& d = node.data();
    const Rect r = ctx.inWindow(node.frame());
    if (d.systemImage) {
        list.symbol(r, d.imageName, ctx.foreground(node));
        return;
    }
    const auto size = ImageStore::shared().size(d.imageName);
    if (!size || size->width <= 0 || size->height <= 0 || r.width <= 0 || r.height <= 0) return;
    if (d.contentMode) {
        // Keep the aspect ratio: fit inside the frame, or fill it (the overflow is clipped).
        const double sx = r.width / size->width, sy = r.height / size->height;
        const double s = *d.contentMode == ui::ContentMode::Fit ? std::min(sx, sy) : std::max(sx, sy);
        const double w = size->width * s, h = size->height * s;
        const Rect fitted{r.x + (r.width - w) / 2, r.y + (r.height - h) / 2, w, h};
        if (*d.contentMode == ui::ContentMode::Fill) list.pushClip(r);
        list.add(cmd::Image{fitted, d.imageName, RGBA{1, 1, 1, ctx.opacity}});
        if (*d.contentMode == ui::ContentMode::Fill) list.popClip();
        return;
    }
    list.add(cmd::Image{r, d.imageName, RGBA{1, 1, 1, ctx.opacity}});
}

void paintShape(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const ui::Shape& s = node.data().geometry->shape;
    const Rect frame = node.frame();
    const double radius = cornerRadius(s, frame);
    Rect r = ctx.inWindow(frame);
    if (s.kind == ui::Shape::Kind::Circle) {
        const double side = std::min(r.width, r.height);
        r = {r.x + (r.width - side) / 2, r.y + (r.height - side) / 2, side, side};
    }
    if (s.fill || !s.stroke) {
        const RGBA fill = s.fill ? palette::faded(palette::resolve(*s.fill, ctx.scheme), ctx.opacity)
                                 : ctx.foreground(node);
        list.fillRect(r, fill, radius);
    }
    if (s.stroke) {
        const double w = s.lineWidth;
        // A centred stroke reaches half its width outside the outline.
        const Rect outline = s.strokeInside ? r : Rect{r.x - w / 2, r.y - w / 2, r.width + w, r.height + w};
        list.strokeRect(outline, palette::faded(palette::resolve(*s.stroke, ctx.scheme), ctx.opacity),
                        s.strokeInside ? radius : radius + w / 2, w);
    }
}

void paintDivider(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const Rect r = ctx.inWindow(node.frame());
    const RGBA color = palette::faded(palette::separator, ctx.opacity);
    if (r.width >= r.height)
        list.fillRect({r.x, r.y + r.height / 2 - 0.5, r.width, 1}, color);
    else
        list.fillRect({r.x + r.width / 2 - 0.5, r.y, 1, r.height}, color);
}

void paintColor(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const Rect frame = node.frame();
    list.fillRect(ctx.inWindow(frame),
                  palette::faded(palette::resolve(node.data().geometry->color, ctx.scheme), ctx.opacity),
                  clipRadiusFor(frame, ctx));
}

void paintBorder(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const ui::ViewData& d = node.data();
    if (!d.attrs->borderColor || !(d.attrs->borderWidth > 0)) return;
    const Rect frame = node.frame();
    list.strokeRect(ctx.inWindow(frame),
                    palette::faded(palette::resolve(*d.attrs->borderColor, ctx.scheme), ctx.opacity),
                    clipRadiusFor(frame, ctx), d.attrs->borderWidth);
}

} // namespace plat::render
