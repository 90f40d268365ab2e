// The plain values layout works with, beside the shared points, sizes and rectangles: proposed
// sizes, edge sets and insets, and the alignments and axes that stacks and frames use.
#pragma once

#include "platform/geometry/Geometry.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace plat::ui {

// An unbounded length: a frame's maximum that takes all the space it is offered.
inline constexpr double infinity = std::numeric_limits<double>::infinity();

// The space a parent offers a child while measuring; an absent dimension asks for the child's
// ideal size in it.
struct ProposedSize {
    std::optional<double> width;
    std::optional<double> height;
    bool operator==(const ProposedSize&) const = default;
};

// A set of edges, combinable with `|`.
enum class Edge : std::uint8_t {
    None = 0,
    Top = 1,
    Leading = 2,
    Bottom = 4,
    Trailing = 8,
    Horizontal = Leading | Trailing,
    Vertical = Top | Bottom,
    All = Top | Leading | Bottom | Trailing,
};
constexpr Edge operator|(Edge a, Edge b) {
    return static_cast<Edge>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr bool contains(Edge set, Edge e) {
    return (static_cast<std::uint8_t>(set) & static_cast<std::uint8_t>(e)) != 0;
}

struct EdgeInsets {
    double top = 0;
    double leading = 0;
    double bottom = 0;
    double trailing = 0;

    static EdgeInsets uniform(double v) { return {v, v, v, v}; }
    // `amount` on every edge of `edges`, zero elsewhere.
    static EdgeInsets on(Edge edges, double amount);
    double horizontal() const { return leading + trailing; }
    double vertical() const { return top + bottom; }
    EdgeInsets operator+(const EdgeInsets& o) const {
        return {top + o.top, leading + o.leading, bottom + o.bottom, trailing + o.trailing};
    }
    bool operator==(const EdgeInsets&) const = default;
};

inline EdgeInsets EdgeInsets::on(Edge edges, double amount) {
    return {contains(edges, Edge::Top) ? amount : 0, contains(edges, Edge::Leading) ? amount : 0,
            contains(edges, Edge::Bottom) ? amount : 0, contains(edges, Edge::Trailing) ? amount : 0};
}

// A proposed length less `by`, never below zero; an absent length stays absent.
inline std::optional<double> inset(std::optional<double> length, double by) {
    if (!length) return std::nullopt;
    return std::max(0.0, *length - by);
}

// `r` less `e` on each edge; the size never goes below zero.
inline Rect inset(const Rect& r, const EdgeInsets& e) {
    return {r.x + e.leading, r.y + e.top, std::max(0.0, r.width - e.horizontal()),
            std::max(0.0, r.height - e.vertical())};
}

// Horizontal alignment (of a vertical stack's children).
enum class HAlign : std::uint8_t { Leading, Center, Trailing };
// Vertical alignment (of a horizontal stack's children).
enum class VAlign : std::uint8_t { Top, Center, Bottom };

// Two-dimensional alignment for frames, overlays, backgrounds and layered stacks.
struct Alignment {
    HAlign horizontal = HAlign::Center;
    VAlign vertical = VAlign::Center;
    bool operator==(const Alignment&) const = default;

    static constexpr Alignment center() { return {}; }
    static constexpr Alignment leading() { return {HAlign::Leading, VAlign::Center}; }
    static constexpr Alignment trailing() { return {HAlign::Trailing, VAlign::Center}; }
    static constexpr Alignment top() { return {HAlign::Center, VAlign::Top}; }
    static constexpr Alignment bottom() { return {HAlign::Center, VAlign::Bottom}; }
    static constexpr Alignment topLeading() { return {HAlign::Leading, VAlign::Top}; }
    static constexpr Alignment topTrailing() { return {HAlign::Trailing, VAlign::Top}; }
    static constexpr Alignment bottomLeading() { return {HAlign::Leading, VAlign::Bottom}; }
    static constexpr Alignment bottomTrailing() { return {HAlign::Trailing, VAlign::Bottom}; }
};

enum class Axis : std::uint8_t { Horizontal, Vertical };

} // namespace plat::ui
