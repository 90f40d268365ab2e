// The stand-in's fixed list of VPN regions: real cities with their coordinates, server loads and
// distances from a fixed user position, some marked as the user's nearest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct FixtureRegion {
    int64_t id = 0;
    std::string city;
    std::string countryCode; // ISO 3166-1 alpha-2, upper case
    std::string countryName;
    std::string continent;
    std::string shortName;
    double latitude = 0;
    double longitude = 0;
    int64_t loadPercentage = 0;
    bool isStreaming = false;
    bool isFree = false;
    bool isP2p = false;
    bool isAlive = true;
    bool isNearest = false;
    std::optional<int64_t> distance; // kilometres from the user; absent for one region on purpose
    std::string serverDomain;        // "<city>.vpn.velmora.example"
    std::string ip;                  // from the documentation address ranges
};

class RegionFixture {
public:
    // Every region, in a fixed order (not sorted by name: the client sorts).
    static const std::vector<FixtureRegion>& regions();
    static const FixtureRegion* find(int64_t id);
    // The alive region with the smallest distance + load among the nearest ones.
    static const FixtureRegion& best();
    // Where the stand-in pretends the user is: Cologne.
    static constexpr double kUserLatitude = 50.9375;
    static constexpr double kUserLongitude = 6.9603;
    // How many alive regions closest to the user are marked nearest.
    static constexpr size_t kNearestCount = 5;
};

} // namespace standin
