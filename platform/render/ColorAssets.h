// The application's named colours ("rightBarColor"): resources/colors.json in the bundle, a JSON
// object from colour name to "#RRGGBB" or "#RRGGBBAA". Read once; thread-safe; never destroyed.
#pragma once

#include "platform/render/DisplayList.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace plat::render {

class ColorAssets {
public:
    static ColorAssets& shared();
    ColorAssets(const ColorAssets&) = delete;
    ColorAssets& operator=(const ColorAssets&) = delete;

    // The colour of that name; none when the bundle has no such colour.
    std::optional<RGBA> color(const std::string& name);
    // "#RRGGBB" or "#RRGGBBAA"; none for anything else.
    static std::optional<RGBA> parseHex(const std::string& text);
    void resetForTesting();

private:
    ColorAssets() = default;
    std::mutex mutex_;
    bool loaded_ = false;
    std::map<std::string, RGBA> colors_;
};

} // namespace plat::render
