#include "platform/render/Bitmap.h"

#include <algorithm>
#include <cmath>

#include <stb_image.h>
#include <stb_image_write.h>

#include <cstring>

namespace plat::render {

Bitmap::Bitmap(int w, int h) : width(w > 0 ? w : 0), height(h > 0 ? h : 0) {
    rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

uint32_t Bitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p =
        &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void Bitmap::setPixel(int x, int y, uint32_t v) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void Bitmap::flipVertically() {
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> row(stride);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = &rgba[static_cast<size_t>(top) * stride];
        uint8_t* b = &rgba[static_cast<size_t>(bottom) * stride];
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
}

std::optional<Bitmap> Bitmap::readPng(const std::filesystem::path& path) {
    int w = 0, h = 0, channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    if (!data) return std::nullopt;
    Bitmap bitmap(w, h);
    std::memcpy(bitmap.rgba.data(), data, bitmap.rgba.size());
    stbi_image_free(data);
    return bitmap;
}

bool Bitmap::writePng(const std::filesystem::path& path) const {
    if (empty()) return false;
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

Bitmap Bitmap::scaledToFit(int maxWidth, int maxHeight) const {
    if (empty() || maxWidth <= 0 || maxHeight <= 0 || (width <= maxWidth && height <= maxHeight))
        return *this;
    const double scale =
        std::min(static_cast<double>(maxWidth) / width, static_cast<double>(maxHeight) / height);
    Bitmap out(std::max(1, static_cast<int>(std::lround(width * scale))),
               std::max(1, static_cast<int>(std::lround(height * scale))));
    // Each target pixel averages the source pixels whose centres fall in its area, weighted by
    // their alpha so transparent edges do not darken the colours.
    for (int y = 0; y < out.height; ++y) {
        const int y0 = y * height / out.height, y1 = std::max(y0 + 1, (y + 1) * height / out.height);
        for (int x = 0; x < out.width; ++x) {
            const int x0 = x * width / out.width, x1 = std::max(x0 + 1, (x + 1) * width / out.width);
            double r = 0, g = 0, b = 0, a = 0;
            int n = 0;
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const uint8_t* p = &rgba[(static_cast<size_t>(sy) * static_cast<size_t>(width) +
                                              static_cast<size_t>(sx)) *
                                             4];
                    const double alpha = p[3];
                    r += p[0] * alpha;
                    g += p[1] * alpha;
                    b += p[2] * alpha;
                    a += alpha;
                    ++n;
                }
            }
            uint8_t* q =
                &out.rgba[(static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)) *
                          4];
            if (a > 0) {
                q[0] = static_cast<uint8_t>(std::lround(r / a));
                q[1] = static_cast<uint8_t>(std::lround(g / a));
                q[2] = static_cast<uint8_t>(std::lround(b / a));
            }
            q[3] = static_cast<uint8_t>(std::lround(a / n));
        }
    }
    return out;
}

} // namespace plat::render
