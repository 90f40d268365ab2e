#include "app/controllers/RegionRanking.h"

#include "platform/foundation/Text.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace region_ranking {

namespace {

bool isASCII(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

void sortByCountryName(std::vector<VPNRegion>& regions) {
    // Normalise each name once; UTF-8 byte order is then code point order. ASCII is already NFC.
    std::vector<std::string> keys;
    keys.reserve(regions.size());
    for (const VPNRegion& r : regions)
        keys.push_back(isASCII(r.country_name) ? r.country_name : plat::text::normalizedNFC(r.country_name));
    std::vector<size_t> order(regions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });

    std::vector<VPNRegion> sorted;
    sorted.reserve(regions.size());
    for (size_t i : order)
        sorted.push_back(std::move(regions[i]));
    regions = std::move(sorted);
}

int64_t score(const VPNRegion& region) {
    int64_t distance = region.distance.value_or(std::numeric_limits<int64_t>::max());
    int64_t sum;
    if (!__builtin_add_overflow(distance, region.load_percentage, &sum)) return sum;
    return region.load_percentage > 0 ? std::numeric_limits<int64_t>::max()
                                      : std::numeric_limits<int64_t>::min();
}

Best bestRegion(const std::vector<VPNRegion>& regions) {
    Best best;
    std::vector<size_t> candidates;
    for (size_t i = 0; i < regions.size(); ++i)
        if (regions[i].is_nearest) candidates.push_back(i);
    best.anyNearest = !candidates.empty();
    if (candidates.empty()) {
        candidates.resize(regions.size());
        std::iota(candidates.begin(), candidates.end(), size_t{0});
    }
    if (candidates.empty()) return best;
    size_t chosen = candidates.front();
    if (candidates.size() > 1) {
        int64_t bestScore = score(regions[chosen]);
        for (size_t k = 1; k < candidates.size(); ++k) {
            int64_t s = score(regions[candidates[k]]);
            if (s < bestScore) {
                bestScore = s;
                chosen = candidates[k];
            }
        }
    }
    best.index = chosen;
    return best;
}

VPNRegion optimalCopy(const VPNRegion& best) {
    VPNRegion copy = best;
    copy.country_name = std::string(kOptimalPrefix) + best.country_name;
    return copy;
}

std::vector<VPNRegion> removingId(const std::vector<VPNRegion>& regions, int64_t id) {
    std::vector<VPNRegion> kept;
    kept.reserve(regions.size());
    for (const VPNRegion& r : regions)
        if (r.id != id) kept.push_back(r);
    return kept;
}

bool rank(std::vector<VPNRegion>& regions) {
    sortByCountryName(regions);
    Best best = bestRegion(regions);
    if (!best.index) return best.anyNearest;
    VPNRegion copy = optimalCopy(regions[*best.index]);
    std::erase_if(regions, [&](const VPNRegion& r) { return r.id == copy.id; });
    regions.insert(regions.begin(), std::move(copy));
    return best.anyNearest;
}

} // namespace region_ranking
