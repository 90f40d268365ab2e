// An RGBA image in memory (8 bits a channel, straight alpha, row 0 at the top) with PNG reading and
// writing. Used for bundle images, window screenshots and the image resource generator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace plat::render {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // width * height * 4 bytes

    Bitmap() = default;
    Bitmap(int w, int h);
    bool empty() const { return width <= 0 || height <= 0; }
    // The pixel at (x, y) as 0xRRGGBBAA; 0 outside the image.
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t rrggbbaa);

    // Flips the rows (read-backs from the GPU come bottom row first).
    void flipVertically();
    // This image shrunk, keeping its aspect ratio, to fit `maxWidth` by `maxHeight` (each pixel the
    // average of the ones it covers); a copy when it fits already.
    Bitmap scaledToFit(int maxWidth, int maxHeight) const;

    static std::optional<Bitmap> readPng(const std::filesystem::path& path);
    // Writes the image; creates the parent folder. False on failure.
    bool writePng(const std::filesystem::path& path) const;
};

} // namespace plat::render
