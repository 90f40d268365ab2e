// A small anti-aliased rasteriser for drawing the application's images from simple geometry.
// Shapes are signed distance functions (negative inside); each pixel is sampled 4 x 4 times.
#pragma once

#include "platform/geometry/RGBA.h"
#include "platform/render/Bitmap.h"

#include <functional>
#include <vector>

namespace plat::render::art {

using Shape = std::function<float(float x, float y)>;
using Paint = std::function<RGBA(float x, float y)>;

// Shapes, in the canvas's unit square: (0, 0) top-left, (1, 1) bottom-right.
Shape circle(float cx, float cy, float r);
Shape ring(float cx, float cy, float r, float width);
Shape roundedRect(float x, float y, float w, float h, float radius);
// A thick line with round ends.
Shape segment(float ax, float ay, float bx, float by, float width);
// A thick arc with round ends, angles in degrees clockwise from 12 o'clock, from `start` to `end`.
Shape arc(float cx, float cy, float r, float width, float start, float end);
Shape polygon(std::vector<std::pair<float, float>> points);
Shape unite(Shape a, Shape b);
Shape subtract(Shape a, Shape b);

Paint solid(RGBA c);
// A vertical gradient from `top` to `bottom` across the unit square.
Paint vertical(RGBA top, RGBA bottom);

class Canvas {
public:
    Canvas(int width, int height);
    // Composites `paint` over the canvas where `shape` covers it.
    void fill(const Shape& shape, const Paint& paint);
    const Bitmap& bitmap() const { return bitmap_; }

private:
    Bitmap bitmap_;
    std::vector<float> rgba_; // straight colour, composited in float
};

} // namespace plat::render::art
