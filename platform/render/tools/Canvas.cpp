#include "platform/render/tools/Canvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plat::render::art {

namespace {

constexpr int kSamples = 4;

float length(float x, float y) {
    return std::sqrt(x * x + y * y);
}

float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    const float t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0f, 1.0f) : 0.0f;
    return length(px - (ax + t * dx), py - (ay + t * dy));
}

} // namespace

Shape circle(float cx, float cy, float r) {
    return [=](float x, float y) { return length(x - cx, y - cy) - r; };
}

Shape ring(float cx, float cy, float r, float width) {
    return [=](float x, float y) { return std::fabs(length(x - cx, y - cy) - r) - width / 2; };
}

Shape roundedRect(float rx, float ry, float w, float h, float radius) {
    return [=](float x, float y) {
        const float qx = std::fabs(x - (rx + w / 2)) - (w / 2 - radius);
        const float qy = std::fabs(y - (ry + h / 2)) - (h / 2 - radius);
        return length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

Shape segment(float ax, float ay, float bx, float by, float width) {
    return [=](float x, float y) { return segmentDistance(x, y, ax, ay, bx, by) - width / 2; };
}

Shape arc(float cx, float cy, float r, float width, float start, float end) {
    const float toRad = std::numbers::pi_v<float> / 180.0f;
    auto at = [=](float deg) {
        return std::pair{cx + r * std::sin(deg * toRad), cy - r * std::cos(deg * toRad)};
    };
    // Plain names: clang 14 cannot capture structured bindings in a lambda.
    const std::pair<float, float> s = at(start), e = at(end);
    return [=, sx = s.first, sy = s.second, ex = e.first, ey = e.second](float x, float y) {
        float deg = std::atan2(x - cx, -(y - cy)) / toRad; // clockwise from 12 o'clock
        if (deg < start) deg += 360;
        if (deg >= start && deg <= end) return std::fabs(length(x - cx, y - cy) - r) - width / 2;
        return std::min(length(x - sx, y - sy), length(x - ex, y - ey)) - width / 2;
    };
}

Shape polygon(std::vector<std::pair<float, float>> points) {
    return [points = std::move(points)](float x, float y) {
        float d = 1e9f;
        bool inside = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const auto [xi, yi] = points[i];
            const auto [xj, yj] = points[j];
            d = std::min(d, segmentDistance(x, y, xi, yi, xj, yj));
            if (((yi > y) != (yj > y)) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        return inside ? -d : d;
    };
}

Shape unite(Shape a, Shape b) {
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Shape subtract(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Paint solid(RGBA c) {
    return [=](float, float) { return c; };
}

Paint vertical(RGBA top, RGBA bottom) {
    return [=](float, float y) {
        const float t = std::clamp(y, 0.0f, 1.0f);
        return RGBA{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                    top.b + (bottom.b - top.b) * t, top.a + (bottom.a - top.a) * t};
    };
}

Canvas::Canvas(int width, int height)
    : bitmap_(width, height), rgba_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0.0f) {}

void Canvas::fill(const Shape& shape, const Paint& paint) {
    const float sx = 1.0f / static_cast<float>(bitmap_.width), sy = 1.0f / static_cast<float>(bitmap_.height);
    // Samples lie within 0.53 pixels of the centre; shapes are distance bounds in unit-square units.
    const float edge = 0.75f * std::max(sx, sy);
    for (int py = 0; py < bitmap_.height; ++py) {
        for (int px = 0; px < bitmap_.width; ++px) {
            // Far from the edge every sample agrees: one look at the centre decides.
            const float cx = (static_cast<float>(px) + 0.5f) * sx, cy = (static_cast<float>(py) + 0.5f) * sy;
            const float centre = shape(cx, cy);
            if (centre > edge) continue;
            const bool inside = centre < -edge;
            int hits = inside ? kSamples * kSamples : 0;
            for (int j = 0; !inside && j < kSamples; ++j)
                for (int i = 0; i < kSamples; ++i) {
                    const float x = (static_cast<float>(px) + (static_cast<float>(i) + 0.5f) / kSamples) * sx;
                    const float y = (static_cast<float>(py) + (static_cast<float>(j) + 0.5f) / kSamples) * sy;
                    if (shape(x, y) < 0) ++hits;
                }
            if (hits == 0) continue;
            const float cover = static_cast<float>(hits) / (kSamples * kSamples);
            const RGBA c = paint(cx, cy);
            float* d = &rgba_[(static_cast<size_t>(py) * static_cast<size_t>(bitmap_.width) +
                               static_cast<size_t>(px)) *
                              4];
            const float a = c.a * cover;
            const float outA = a + d[3] * (1 - a);
            if (outA > 0) {
                d[0] = (c.r * a + d[0] * d[3] * (1 - a)) / outA;
                d[1] = (c.g * a + d[1] * d[3] * (1 - a)) / outA;
                d[2] = (c.b * a + d[2] * d[3] * (1 - a)) / outA;
            }
            d[3] = outA;
            for (int k = 0; k < 4; ++k)
                bitmap_.rgba[static_cast<size_t>(d - rgba_.data()) + static_cast<size_t>(k)] =
                    static_cast<uint8_t>(std::lround(std::clamp(d[k], 0.0f, 1.0f) * 255.0f));
        }
    }
}

} // namespace plat::render::art
