// How the region list is ordered: a stable sort by country name (canonical Unicode order, no
// locale), the best region (smallest distance + load among the nearest regions, or among all when
// none is nearest), and the renamed copy of it that goes first. Pure functions, any thread.
#pragma once

#include "app/network/VPNRegion.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace region_ranking {

// The prefix of the best region's name: "Optimal region" and a line feed.
inline constexpr const char* kOptimalPrefix = "Optimal region\n";

// Sorts ascending by `country_name`, stable. Names compare by Unicode scalar value after NFC
// normalisation (case-sensitive, so "B" < "a"); canonically equivalent names are equal.
void sortByCountryName(std::vector<VPNRegion>& regions);

// `distance` + `load_percentage`, a missing distance counting as INT64_MAX; the sum saturates at
// the limits of int64_t instead of overflowing.
int64_t score(const VPNRegion& region);

struct Best {
    bool anyNearest = false;     // whether a region was marked nearest
    std::optional<size_t> index; // the best region's position; none for an empty list
};
// The candidate with the strictly smallest score, the earliest among equal scores. With a single
// candidate no score is computed.
Best bestRegion(const std::vector<VPNRegion>& regions);

// A copy of `best` named "Optimal region", a line feed and its own name.
VPNRegion optimalCopy(const VPNRegion& best);

// Every record whose id is `id` removed, the rest in order.
std::vector<VPNRegion> removingId(const std::vector<VPNRegion>& regions, int64_t id);

// Decode order for tests and the benchmark: sort, pick the best, move its renamed copy first.
// Returns whether a region was marked nearest.
bool rank(std::vector<VPNRegion>& regions);

} // namespace region_ranking
