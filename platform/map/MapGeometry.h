// Plain value types shared by the map engine: points and sizes (in view pixels or in the Mercator
// unit square, as each function says), rectangles of the unit square and colours.
#pragma once

namespace plat::map {

// A point. In view pixels x grows to the right and y downwards; in the unit square (0, 0) is the
// north-west corner of the world at 180° W and (1, 1) the south-east one.
struct MapPoint {
    double x = 0;
    double y = 0;
    bool operator==(const MapPoint&) const = default;
};

struct MapSize {
    double width = 0;
    double height = 0;
    bool operator==(const MapSize&) const = default;
    // True when either side is zero, negative or not finite: nothing can be drawn into it.
    bool isEmpty() const { return !(width > 0 && height > 0 && width < 1e9 && height < 1e9); }
};

// A rectangle of the unit square given by its centre and extent. The centre's x may lie outside
// [0, 1) while a camera moves across the antimeridian; the world repeats every 1.0 in x.
struct WorldRect {
    MapPoint center;
    MapSize size;
    bool operator==(const WorldRect&) const = default;
    double minX() const { return center.x - size.width / 2; }
    double maxX() const { return center.x + size.width / 2; }
    double minY() const { return center.y - size.height / 2; }
    double maxY() const { return center.y + size.height / 2; }
};

// An sRGB colour with alpha, each channel in [0, 1].
struct MapColor {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 1;
    bool operator==(const MapColor&) const = default;

    static constexpr MapColor gray() { return {0.56f, 0.56f, 0.58f, 1}; }
    static constexpr MapColor green() { return {0.20f, 0.78f, 0.35f, 1}; }
    static constexpr MapColor red() { return {1.00f, 0.23f, 0.19f, 1}; }
    static constexpr MapColor blue() { return {0.00f, 0.48f, 1.00f, 1}; }
};

} // namespace plat::map
