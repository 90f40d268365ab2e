// velmora-make-images FOLDER: writes every application image as FOLDER/<name>.png.
#include "platform/render/tools/ImageArt.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    int failures = 0;
    for (const auto& image : plat::render::art::allImages()) {
        const auto path = out / (image.name + ".png");
        if (image.draw().writePng(path)) {
            std::printf("%s\n", path.c_str());
        } else {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
