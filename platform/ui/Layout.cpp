#include "platform/ui/Layout.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace plat::ui::detail {

namespace {

bool transparentForLayout(ViewKind k) {
    return isTransparent(k) || k == ViewKind::Sheet || k == ViewKind::Alert;
}

double along(Size s, Axis a) {
    return a == Axis::Horizontal ? s.width : s.height;
}
double across(Size s, Axis a) {
    return a == Axis::Horizontal ? s.height : s.width;
}

ProposedSize proposal(Axis a, std::optional<double> main, std::optional<double> cross) {
    return a == Axis::Horizontal ? ProposedSize{main, cross} : ProposedSize{cross, main};
}

// One dimension of a flexible frame.
double resolveFlexible(std::optional<double> proposed, std::optional<double> mn, std::optional<double> ideal,
                       std::optional<double> mx, double child) {
    double offered = proposed ? *proposed : (ideal ? *ideal : child);
    double r = child;
    if (mn) r = std::max(*mn, std::min(r, offered));
    if (mx) r = std::min(*mx, std::max(r, offered));
    return r;
}

std::optional<double> flexibleProposal(std::optional<double> proposed, std::optional<double> mn,
                                       std::optional<double> ideal, std::optional<double> mx) {
    if (!proposed) return ideal;
    double v = *proposed;
    if (mn) v = std::max(v, *mn);
    if (mx) v = std::min(v, *mx);
    return v;
}

bool isFixed(const FrameSpec& f) {
    return f.width || f.height;
}

} // namespace

Rect aligned(Rect b, Size s, Alignment a) {
    double x = b.x, y = b.y;
    if (a.horizontal == HAlign::Center)
        x += (b.width - s.width) / 2;
    else if (a.horizontal == HAlign::Trailing)
        x += b.width - s.width;
    if (a.vertical == VAlign::Center)
        y += (b.height - s.height) / 2;
    else if (a.vertical == VAlign::Bottom)
        y += b.height - s.height;
    return {x, y, s.width, s.height};
}

namespace {

void addLayoutChildren(Node& n, std::vector<Node*>& out) {
    for (auto& c : n.children) {
        const ViewKind k = c->data->kind;
        if (k == ViewKind::Empty) continue;
        if (transparentForLayout(k))
            addLayoutChildren(*c, out);
        else
            out.push_back(c.get());
    }
}

} // namespace

std::vector<Node*> LayoutEngine::layoutChildren(Node& node) {
    std::vector<Node*> out;
    out.reserve(node.children.size());
    addLayoutChildren(node, out);
    return out;
}

void LayoutEngine::prepare(Node& n) {
    // Nodes that are not placed this time (closed menus, hidden labels) end with an empty frame.
    n.frame = {};
    if (!n.measuredValid) n.measured.clear();
    n.measuredValid = true;
    for (auto& c : n.children)
        prepare(*c);
}

void LayoutEngine::layoutRoot(Node& root, Rect bounds) {
    prepare(root);
    const Size wanted = measure(root, ProposedSize{bounds.width, bounds.height});
    // Content larger than its window hangs from the window's top-left corner, as a window shows
    // it, rather than reach past its top and leading edges.
    bounds.width = std::max(bounds.width, wanted.width);
    bounds.height = std::max(bounds.height, wanted.height);
    place(root, bounds);
    // Transparent nodes are stepped over by their parents; they cover what their children cover.
    std::function<void(Node&)> cover = [&](Node& n) {
        for (auto& c : n.children)
            cover(*c);
        if (&n == &root || !transparentForLayout(n.data->kind)) return;
        bool any = false;
        Rect u;
        for (auto& c : n.children) {
            const Rect& f = c->frame;
            if (f.width <= 0 && f.height <= 0 && f.x == 0 && f.y == 0) continue;
            if (!any) {
                u = f;
                any = true;
                continue;
            }
            double x0 = std::min(u.x, f.x), y0 = std::min(u.y, f.y);
            double x1 = std::max(u.maxX(), f.maxX()), y1 = std::max(u.maxY(), f.maxY());
            u = {x0, y0, x1 - x0, y1 - y0};
        }
        n.frame = u;
    };
    cover(root);
}

Size LayoutEngine::measure(Node& node, ProposedSize p) {
    for (const auto& [key, size] : node.measured)
        if (key == p) return size;
    Size s = compute(node, p);
    node.measured.emplace_back(p, s);
    return s;
}

Size LayoutEngine::measureContent(const std::vector<Node*>& items, ProposedSize p) {
    if (items.empty()) return {};
    if (items.size() == 1) return measure(*items[0], p);
    return measureStack(items, Axis::Vertical, p, defaultSpacing);
}

void LayoutEngine::placeContent(const std::vector<Node*>& items, Rect bounds, Alignment alignment) {
    if (items.empty()) return;
    if (items.size() == 1) {
        Size s = measure(*items[0], ProposedSize{bounds.width, bounds.height});
        place(*items[0], aligned(bounds, s, alignment));
        return;
    }
    Size s = measureStack(items, Axis::Vertical, ProposedSize{bounds.width, bounds.height}, defaultSpacing);
    placeStack(items, Axis::Vertical, aligned(bounds, s, alignment), defaultSpacing, alignment);
}

std::vector<Size> LayoutEngine::allocate(const std::vector<Node*>& items, Axis axis,
                                         std::optional<double> length, std::optional<double> cross,
                                         double spacing) {
    const std::size_t n = items.size();
    std::vector<Size> sizes(n);
    if (!length || !std::isfinite(*length)) {
        // Unbounded, every child may be as big as it likes; unoffered, each is its ideal size.
        for (std::size_t i = 0; i < n; ++i)
            sizes[i] = measure(*items[i], proposal(axis, length, cross));
        return sizes;
    }
    const double gaps = spacing * static_cast<double>(n - 1);
    double remaining = std::max(0.0, *length - gaps);
    // How far each child can shrink and grow along the axis. Children that cannot do either take
    // their size first; the others share what is left.
    std::vector<double> least(n), flexibility(n);
    std::vector<Size> smallest(n);
    bool unboundedContent = false;
    for (std::size_t i = 0; i < n; ++i) {
        smallest[i] = measure(*items[i], proposal(axis, 0.0, cross));
        least[i] = along(smallest[i], axis);
        const double most = along(measure(*items[i], proposal(axis, infinity, cross)), axis);
        flexibility[i] = std::isfinite(most) ? std::max(0.0, most - least[i]) : infinity;
        if (!std::isfinite(flexibility[i]) && items[i]->data->kind != ViewKind::Spacer)
            unboundedContent = true;
    }
    // A spacer only fills room that no content wants: while a sibling can use any length (a list,
    // a scroll view, a map, or a stack holding one), spacers keep their minimum and that sibling
    // gets the rest, so a growing window grows the list rather than the gaps around it.
    std::vector<std::size_t> flexible;
    for (std::size_t i = 0; i < n; ++i) {
        const bool pinned = unboundedContent && items[i]->data->kind == ViewKind::Spacer;
        if (flexibility[i] > 0 && !pinned) {
            flexible.push_back(i);
        } else {
            sizes[i] = smallest[i];
            remaining -= least[i];
        }
    }
    // Every flexible child has its minimum; what is left beyond the minimums is shared equally,
    // the least flexible child offered its share first so that what it leaves goes to the more
    // flexible ones. Sharing only the space beyond the minimums keeps a spacer from taking room a
    // sibling's content needs (a nested column would otherwise be squeezed to its minimum while
    // the spacer beside it grew).
    std::stable_sort(flexible.begin(), flexible.end(),
                     [&](std::size_t a, std::size_t b) { return flexibility[a] < flexibility[b]; });
    double extra = remaining;
    for (std::size_t i : flexible)
        extra -= least[i];
    // Content that can only grow so far (a text) first gets up to its own size: a spacer beside
    // it never takes room the text needs to show whole, so a stack offered its ideal length lays
    // its children out at theirs.
    std::vector<double> base(least);
    for (std::size_t i : flexible) {
        if (items[i]->data->kind == ViewKind::Spacer || !std::isfinite(flexibility[i]) || extra <= 0)
            continue;
        const double ideal = along(measure(*items[i], proposal(axis, std::nullopt, cross)), axis);
        const double grow = std::clamp(ideal - least[i], 0.0, extra);
        base[i] += grow;
        extra -= grow;
    }
    std::size_t left = flexible.size();
    for (std::size_t i : flexible) {
        const double offer = base[i] + std::max(0.0, extra) / static_cast<double>(left);
        sizes[i] = measure(*items[i], proposal(axis, offer, cross));
        extra -= along(sizes[i], axis) - base[i];
        --left;
    }
    return sizes;
}

Size LayoutEngine::measureStack(const std::vector<Node*>& items, Axis axis, ProposedSize p, double spacing) {
    if (items.empty()) return {};
    auto main = axis == Axis::Horizontal ? p.width : p.height;
    auto cross = axis == Axis::Horizontal ? p.height : p.width;
    auto sizes = allocate(items, axis, main, cross, spacing);
    double total = spacing * static_cast<double>(items.size() - 1), thickness = 0;
    for (const auto& s : sizes) {
        total += along(s, axis);
        thickness = std::max(thickness, across(s, axis));
    }
    return axis == Axis::Horizontal ? Size{total, thickness} : Size{thickness, total};
}

void LayoutEngine::placeStack(const std::vector<Node*>& items, Axis axis, Rect bounds, double spacing,
                              Alignment alignment) {
    if (items.empty()) return;
    const bool h = axis == Axis::Horizontal;
    auto sizes =
        allocate(items, axis, h ? bounds.width : bounds.height, h ? bounds.height : bounds.width, spacing);
    double cursor = h ? bounds.x : bounds.y;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Size s = sizes[i];
        Rect slot = h ? Rect{cursor, bounds.y, s.width, bounds.height}
                      : Rect{bounds.x, cursor, bounds.width, s.height};
        place(*items[i], aligned(slot, s, alignment));
        cursor += along(s, axis) + spacing;
    }
}

Size LayoutEngine::compute(Node& node, ProposedSize p) {
    const ViewData& d = *node.data;
    switch (d.kind) {
    case ViewKind::VStack:
        return measureStack(layoutChildren(node), Axis::Vertical, p, d.spacing.value_or(defaultSpacing));
    case ViewKind::HStack:
        return measureStack(layoutChildren(node), Axis::Horizontal, p, d.spacing.value_or(defaultSpacing));
    case ViewKind::ZStack: {
        Size out;
        for (Node* c : layoutChildren(node)) {
            Size s = measure(*c, p);
            out = {std::max(out.width, s.width), std::max(out.height, s.height)};
        }
        return out;
    }
    case ViewKind::Padding: {
        const EdgeInsets& e = d.geometry->insets;
        Size s = measureContent(layoutChildren(node),
                                {inset(p.width, e.horizontal()), inset(p.height, e.vertical())});
        return {s.width + e.horizontal(), s.height + e.vertical()};
    }
    case ViewKind::Frame: {
        const FrameSpec& f = d.geometry->frame;
        auto content = layoutChildren(node);
        if (isFixed(f)) {
            Size s = measureContent(content, {f.width ? f.width : p.width, f.height ? f.height : p.height});
            return {f.width.value_or(s.width), f.height.value_or(s.height)};
        }
        const auto width = flexibleProposal(p.width, f.minWidth, f.idealWidth, f.maxWidth);
        if (f.fixedHeight) {
            const Size s = measureContent(content, {width, std::nullopt});
            return {resolveFlexible(p.width, f.minWidth, f.idealWidth, f.maxWidth, s.width), s.height};
        }
        Size s = measureContent(content,
                                {width, flexibleProposal(p.height, f.minHeight, f.idealHeight, f.maxHeight)});
        return {resolveFlexible(p.width, f.minWidth, f.idealWidth, f.maxWidth, s.width),
                resolveFlexible(p.height, f.minHeight, f.idealHeight, f.maxHeight, s.height)};
    }
    case ViewKind::Background:
    case ViewKind::Overlay: {
        if (node.children.empty()) return {};
        std::vector<Node*> base;
        if (transparentForLayout(node.children[0]->data->kind))
            base = layoutChildren(*node.children[0]);
        else if (node.children[0]->data->kind != ViewKind::Empty)
            base = {node.children[0].get()};
        return measureContent(base, p);
    }
    default:
        if (transparentForLayout(d.kind)) return measureContent(layoutChildren(node), p);
        return measureLeaf(node, p);
    }
}

void LayoutEngine::place(Node& node, Rect bounds) {
    node.frame = bounds;
    const ViewData& d = *node.data;
    switch (d.kind) {
    case ViewKind::VStack:
        placeStack(layoutChildren(node), Axis::Vertical, bounds, d.spacing.value_or(defaultSpacing),
                   {d.hAlign, VAlign::Center});
        return;
    case ViewKind::HStack:
        placeStack(layoutChildren(node), Axis::Horizontal, bounds, d.spacing.value_or(defaultSpacing),
                   {HAlign::Center, d.vAlign});
        return;
    case ViewKind::ZStack:
        for (Node* c : layoutChildren(node))
            place(*c, aligned(bounds, measure(*c, {bounds.width, bounds.height}), d.alignment));
        return;
    case ViewKind::Padding: {
        placeContent(layoutChildren(node), inset(bounds, d.geometry->insets), Alignment::center());
        return;
    }
    case ViewKind::Frame: {
        const FrameSpec& f = d.geometry->frame;
        auto content = layoutChildren(node);
        ProposedSize offer =
            isFixed(f) ? ProposedSize{f.width ? f.width : bounds.width, f.height ? f.height : bounds.height}
                       : ProposedSize{flexibleProposal(bounds.width, f.minWidth, f.idealWidth, f.maxWidth),
                                      f.fixedHeight ? std::nullopt
                                                    : flexibleProposal(bounds.height, f.minHeight,
                                                                       f.idealHeight, f.maxHeight)};
        Size s = measureContent(content, offer);
        Rect inner = aligned(bounds, s, f.alignment);
        if (content.size() == 1)
            place(*content[0], inner);
        else
            placeStack(content, Axis::Vertical, inner, defaultSpacing, f.alignment);
        return;
    }
    case ViewKind::Background:
    case ViewKind::Overlay: {
        if (node.children.size() < 2) return;
        for (std::size_t i = 0; i < 2; ++i) {
            Node& part = *node.children[i];
            std::vector<Node*> items;
            if (transparentForLayout(part.data->kind)) {
                items = layoutChildren(part);
                part.frame = bounds;
            } else if (part.data->kind != ViewKind::Empty) {
                items = {&part};
            }
            // The base fills the modifier; the decoration is offered the base's size.
            placeContent(items, bounds, i == 0 ? Alignment::center() : d.alignment);
        }
        return;
    }
    default:
        if (transparentForLayout(d.kind)) {
            placeContent(layoutChildren(node), bounds, Alignment::center());
            // A transparent node covers what its children cover.
            return;
        }
        placeLeaf(node, bounds);
    }
}

} // namespace plat::ui::detail
