#include "standin/RegionFixture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace standin {
namespace {

struct City {
    const char* city;
    const char* slug;
    const char* code;
    const char* country;
    const char* continent;
    const char* shortName;
    double latitude;
    double longitude;
    int load;
    bool streaming;
    bool free;
    bool p2p;
    bool alive;
};

// clang-format off
constexpr City kCities[] = {
    {"Frankfurt", "frankfurt", "DE", "Germany", "Europe", "FRA", 50.1109, 8.6821, 62, true, true, true, true},
    {"Berlin", "berlin", "DE", "Germany", "Europe", "BER", 52.5200, 13.4050, 35, true, false, true, true},
    {"Amsterdam", "amsterdam", "NL", "Netherlands", "Europe", "AMS", 52.3676, 4.9041, 48, true, true, true, true},
    {"Brussels", "brussels", "BE", "Belgium", "Europe", "BRU", 50.8503, 4.3517, 22, false, false, true, true},
    {"Paris", "paris", "FR", "France", "Europe", "PAR", 48.8566, 2.3522, 71, true, false, true, true},
    {"Zurich", "zurich", "CH", "Switzerland", "Europe", "ZRH", 47.3769, 8.5417, 18, true, false, true, true},
    {"London", "london", "GB", "United Kingdom", "Europe", "LON", 51.5072, -0.1276, 83, true, false, false, true},
    {"Manchester", "manchester", "GB", "United Kingdom", "Europe", "MAN", 53.4808, -2.2426, 29, false, false, true, true},
    {"Dublin", "dublin", "IE", "Ireland", "Europe", "DUB", 53.3498, -6.2603, 33, true, false, true, true},
    {"Madrid", "madrid", "ES", "Spain", "Europe", "MAD", 40.4168, -3.7038, 41, true, false, true, true},
    {"Barcelona", "barcelona", "ES", "Spain", "Europe", "BCN", 41.3874, 2.1686, 56, false, false, true, true},
    {"Lisbon", "lisbon", "PT", "Portugal", "Europe", "LIS", 38.7223, -9.1393, 27, false, false, true, true},
    {"Rome", "rome", "IT", "Italy", "Europe", "ROM", 41.9028, 12.4964, 38, true, false, false, true},
    {"Milan", "milan", "IT", "Italy", "Europe", "MIL", 45.4642, 9.1900, 44, false, false, true, true},
    {"Vienna", "vienna", "AT", "Austria", "Europe", "VIE", 48.2082, 16.3738, 40, false, false, true, true},
    {"Warsaw", "warsaw", "PL", "Poland", "Europe", "WAW", 52.2297, 21.0122, 10, false, false, true, true},
    {"Prague", "prague", "CZ", "Czechia", "Europe", "PRG", 50.0755, 14.4378, 31, false, false, true, true},
    {"Stockholm", "stockholm", "SE", "Sweden", "Europe", "STO", 59.3293, 18.0686, 24, true, false, true, true},
    {"Oslo", "oslo", "NO", "Norway", "Europe", "OSL", 59.9139, 10.7522, 15, false, false, true, true},
    {"Copenhagen", "copenhagen", "DK", "Denmark", "Europe", "CPH", 55.6761, 12.5683, 37, false, false, true, true},
    {"Helsinki", "helsinki", "FI", "Finland", "Europe", "HEL", 60.1699, 24.9384, 12, false, false, true, true},
    {"Bucharest", "bucharest", "RO", "Romania", "Europe", "BUH", 44.4268, 26.1025, 19, false, false, true, true},
    {"Athens", "athens", "GR", "Greece", "Europe", "ATH", 37.9838, 23.7275, 26, false, false, true, true},
    {"Istanbul", "istanbul", "TR", "Turkey", "Europe", "IST", 41.0082, 28.9784, 58, false, false, false, true},
    {"New York", "new-york", "US", "United States", "North America", "NYC", 40.7128, -74.0060, 77, true, true, false, true},
    {"Los Angeles", "los-angeles", "US", "United States", "North America", "LAX", 34.0522, -118.2437, 64, true, false, false, true},
    {"Chicago", "chicago", "US", "United States", "North America", "CHI", 41.8781, -87.6298, 46, true, false, true, true},
    {"Miami", "miami", "US", "United States", "North America", "MIA", 25.7617, -80.1918, 52, true, false, false, true},
    {"Seattle", "seattle", "US", "United States", "North America", "SEA", 47.6062, -122.3321, 30, false, false, true, true},
    {"Dallas", "dallas", "US", "United States", "North America", "DAL", 32.7767, -96.7970, 39, false, false, true, false},
    {"Toronto", "toronto", "CA", "Canada", "North America", "TOR", 43.6532, -79.3832, 43, true, false, true, true},
    {"Vancouver", "vancouver", "CA", "Canada", "North America", "VAN", 49.2827, -123.1207, 21, false, false, true, true},
    {"Mexico City", "mexico-city", "MX", "Mexico", "North America", "MEX", 19.4326, -99.1332, 34, false, false, true, true},
    {"São Paulo", "sao-paulo", "BR", "Brazil", "South America", "SAO", -23.5505, -46.6333, 67, true, false, true, true},
    {"Buenos Aires", "buenos-aires", "AR", "Argentina", "South America", "BUE", -34.6037, -58.3816, 28, false, false, true, true},
    {"Santiago", "santiago", "CL", "Chile", "South America", "SCL", -33.4489, -70.6693, 17, false, false, true, true},
    {"Bogotá", "bogota", "CO", "Colombia", "South America", "BOG", 4.7110, -74.0721, 23, false, false, true, true},
    {"Tokyo", "tokyo", "JP", "Japan", "Asia", "TYO", 35.6762, 139.6503, 73, true, false, false, true},
    {"Osaka", "osaka", "JP", "Japan", "Asia", "OSA", 34.6937, 135.5023, 32, false, false, true, true},
    {"Seoul", "seoul", "KR", "South Korea", "Asia", "SEL", 37.5665, 126.9780, 49, true, false, false, true},
    {"Singapore", "singapore", "SG", "Singapore", "Asia", "SIN", 1.3521, 103.8198, 81, true, true, true, true},
    {"Hong Kong", "hong-kong", "HK", "Hong Kong", "Asia", "HKG", 22.3193, 114.1694, 60, true, false, false, true},
    {"Mumbai", "mumbai", "IN", "India", "Asia", "BOM", 19.0760, 72.8777, 54, false, false, true, true},
    {"Dubai", "dubai", "AE", "United Arab Emirates", "Asia", "DXB", 25.2048, 55.2708, 36, false, false, false, true},
    {"Tel Aviv", "tel-aviv", "IL", "Israel", "Asia", "TLV", 32.0853, 34.7818, 25, false, false, true, true},
    {"Bangkok", "bangkok", "TH", "Thailand", "Asia", "BKK", 13.7563, 100.5018, 42, false, false, true, true},
    {"Sydney", "sydney", "AU", "Australia", "Oceania", "SYD", -33.8688, 151.2093, 57, true, false, true, true},
    {"Melbourne", "melbourne", "AU", "Australia", "Oceania", "MEL", -37.8136, 144.9631, 45, false, false, true, true},
    {"Auckland", "auckland", "NZ", "New Zealand", "Oceania", "AKL", -36.8485, 174.7633, 14, false, false, true, true},
    {"Johannesburg", "johannesburg", "ZA", "South Africa", "Africa", "JNB", -26.2041, 28.0473, 38, false, false, true, true},
    {"Cairo", "cairo", "EG", "Egypt", "Africa", "CAI", 30.0444, 31.2357, 47, false, false, false, true},
    {"Lagos", "lagos", "NG", "Nigeria", "Africa", "LOS", 6.5244, 3.3792, 20, false, false, true, false},
    {"Nairobi", "nairobi", "KE", "Kenya", "Africa", "NBO", -1.2921, 36.8219, 16, false, false, true, true},
};
// clang-format on

// Great-circle distance in kilometres (haversine, mean earth radius).
int64_t kilometres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kRadius = 6371.0;
    auto rad = [](double degrees) { return degrees * std::numbers::pi / 180.0; };
    double dLat = rad(lat2 - lat1), dLon = rad(lon2 - lon1);
    double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
               std::cos(rad(lat1)) * std::cos(rad(lat2)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return static_cast<int64_t>(std::llround(2 * kRadius * std::asin(std::sqrt(a))));
}

std::vector<FixtureRegion> build() {
    static constexpr const char* kRanges[] = {"192.0.2", "198.51.100", "203.0.113"};
    std::vector<FixtureRegion> regions;
    int64_t index = 0;
    for (const City& city : kCities) {
        FixtureRegion region;
        region.id = index + 1;
        region.city = city.city;
        region.countryCode = city.code;
        region.countryName = city.country;
        region.continent = city.continent;
        region.shortName = city.shortName;
        region.latitude = city.latitude;
        region.longitude = city.longitude;
        region.loadPercentage = city.load;
        region.isStreaming = city.streaming;
        region.isFree = city.free;
        region.isP2p = city.p2p;
        region.isAlive = city.alive;
        region.serverDomain = std::string(city.slug) + ".vpn.velmora.example";
        region.ip = std::string(kRanges[index % 3]) + "." + std::to_string(10 + index);
        region.distance = kilometres(RegionFixture::kUserLatitude, RegionFixture::kUserLongitude,
                                     city.latitude, city.longitude);
        regions.push_back(std::move(region));
        ++index;
    }
    // The service cannot always place a server; one region comes without a distance.
    for (auto& region : regions)
        if (region.shortName == "AKL") region.distance.reset();

    std::vector<FixtureRegion*> alive;
    for (auto& region : regions)
        if (region.isAlive && region.distance) alive.push_back(&region);
    std::sort(alive.begin(), alive.end(),
              [](const FixtureRegion* a, const FixtureRegion* b) { return *a->distance < *b->distance; });
    for (size_t i = 0; i < alive.size() && i < RegionFixture::kNearestCount; ++i)
        alive[i]->isNearest = true;
    return regions;
}

} // namespace

const std::vector<FixtureRegion>& RegionFixture::regions() {
    // Never destroyed: server threads may still read it while the process exits.
    static const auto* regions = new std::vector<FixtureRegion>(build());
    return *regions;
}

const FixtureRegion* RegionFixture::find(int64_t id) {
    for (const auto& region : regions())
        if (region.id == id) return &region;
    return nullptr;
}

const FixtureRegion& RegionFixture::best() {
    const FixtureRegion* best = nullptr;
    for (const auto& region : regions()) {
        if (!region.isNearest) continue;
        if (!best || *region.distance + region.loadPercentage < *best->distance + best->loadPercentage)
            best = &region;
    }
    return *best;
}

} // namespace standin
