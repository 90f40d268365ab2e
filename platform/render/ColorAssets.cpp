#include "platform/render/ColorAssets.h"

#include "platform/foundation/Bundle.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace plat::render {

ColorAssets& ColorAssets::shared() {
    static ColorAssets* assets = new ColorAssets();
    return *assets;
}

std::optional<RGBA> ColorAssets::parseHex(const std::string& text) {
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
    uint32_t v = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (text.size() == 7) return RGBA::rgb(v);
    return RGBA::rgb(v >> 8, static_cast<float>(v & 0xFF) / 255.0f);
}

std::optional<RGBA> ColorAssets::color(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (!loaded_) {
        loaded_ = true;
        std::ifstream in(Bundle::main().resourcePath() / "colors.json", std::ios::binary);
        nlohmann::json json = in ? nlohmann::json::parse(in, nullptr, false) : nlohmann::json();
        if (json.is_object()) {
            for (const auto& [key, value] : json.items()) {
                if (!value.is_string()) continue;
                if (auto c = parseHex(value.get<std::string>())) colors_[key] = *c;
            }
        }
    }
    auto it = colors_.find(name);
    if (it == colors_.end()) return std::nullopt;
    return it->second;
}

void ColorAssets::resetForTesting() {
    std::lock_guard lock(mutex_);
    loaded_ = false;
    colors_.clear();
}

} // namespace plat::render
