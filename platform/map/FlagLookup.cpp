#include "platform/map/FlagLookup.h"

#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <cctype>

namespace plat::map {

namespace {

// Codes the service (or common usage) writes differently from the image set's file names, and
// nations that have no image of their own falling back to their country's flag.
struct Alias {
    const char* code;
    std::vector<const char*> names;
};
const std::vector<Alias>& aliases() {
    static const auto* table = new std::vector<Alias>{
        {"uk", {"gb"}},
        {"el", {"gr"}},
        {"gb-eng", {"gb"}},
        {"gb-nir", {"gb"}},
        {"gb-sct", {"_scotland", "gb"}},
        {"gb-wls", {"_wales", "gb"}},
        {"es-ct", {"_catalonia", "es"}},
        {"es-pv", {"_basque", "es"}},
        {"es-ga", {"_galicia", "es"}},
        {"un", {"_united_nations"}},
    };
    return *table;
}

std::optional<std::string> normalized(std::string_view code) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!code.empty() && blank(code.front()))
        code.remove_prefix(1);
    while (!code.empty() && blank(code.back()))
        code.remove_suffix(1);
    if (code.size() < 2 || code.size() > 11) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < code.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(code[i]);
        if (i < 2) {
            if (!std::isalpha(c) || c > 0x7f) return std::nullopt;
        } else if (i == 2) {
            if (c != '-' && c != '_') return std::nullopt;
            c = '-';
        } else if (!std::isalnum(c) || c > 0x7f) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(std::tolower(c)));
    }
    if (out.size() == 3) return std::nullopt; // a separator with nothing after it
    return out;
}

} // namespace

FlagLookup& FlagLookup::shared() {
    static FlagLookup* lookup =
        new FlagLookup({Bundle::main().resourcePath() / "flags", std::filesystem::path(kSystemDirectory)});
    return *lookup;
}

FlagLookup::FlagLookup(std::vector<std::filesystem::path> directories)
    : directories_(std::move(directories)) {}

std::vector<std::string> FlagLookup::candidates(std::string_view countryCode) {
    std::vector<std::string> names;
    auto code = normalized(countryCode);
    if (!code) return names;
    names.push_back(*code);
    for (const Alias& alias : aliases())
        if (*code == alias.code)
            for (const char* name : alias.names)
                names.emplace_back(name);
    return names;
}

std::optional<std::filesystem::path> FlagLookup::pathFor(std::string_view countryCode) const {
    auto names = candidates(countryCode);
    if (names.empty()) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (auto it = cache_.find(names.front()); it != cache_.end()) return it->second;
    std::optional<std::filesystem::path> found;
    std::error_code ec;
    // Every folder is asked for the code itself before any alias, so a bundle image of, say,
    // "gb-sct" wins over the system set's fallback.
    for (const std::string& name : names) {
        for (const auto& directory : directories_) {
            std::filesystem::path file = directory / (name + ".png");
            if (std::filesystem::is_regular_file(file, ec)) {
                found = file;
                break;
            }
        }
        if (found) break;
    }
    // Codes come from the service; a flood of distinct ones must not grow the cache without end.
    if (cache_.size() >= kMaxCachedCodes) cache_.clear();
    cache_.emplace(names.front(), found);
    return found;
}

} // namespace plat::map
