// The pictures of the application's images, drawn from simple geometry. The PNGs under
// resources/images are this code's output (velmora-make-images writes them; a test checks that
// the committed files still match).
#pragma once

#include "platform/render/Bitmap.h"

#include <string>
#include <vector>

namespace plat::render::art {

struct ImageArt {
    std::string name; // the image name the screens use, and the file name without ".png"
    Bitmap (*draw)();
};

// Every image, in a fixed order.
const std::vector<ImageArt>& allImages();

} // namespace plat::render::art
