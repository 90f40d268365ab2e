// Region records for the tests: JSON text of one record with chosen fields, and lists of them.
#pragma once

#include "app/network/VPNRegion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace regiontest {

struct Sample {
    int64_t id = 1;
    std::string country = "Spain";
    bool nearest = false;
    std::optional<int64_t> distance = 100;
    int64_t load = 10;
};

// One record as the API writes it; `distanceText` replaces the distance entry (e.g. "null" or
// "\"far\""), and an empty `distanceText` with no distance leaves the key out.
inline std::string recordText(const Sample& s, const std::string& distanceText = "") {
    std::string distance;
    if (!distanceText.empty())
        distance = "\"distance\":" + distanceText + ",";
    else if (s.distance)
        distance = "\"distance\":" + std::to_string(*s.distance) + ",";
    return "{\"id\":" + std::to_string(s.id) +
           ",\"is_streaming\":false,\"is_free\":false,\"is_alive\":true,\"server_domain\":\"r" +
           std::to_string(s.id) +
           ".vpn.example\",\"city\":\"City\",\"country_code\":\"ES\",\"is_p2p\":true,\"ip\":\"192.0.2.1\","
           "\"load_percentage\":" +
           std::to_string(s.load) + ",\"country_name\":\"" + s.country + "\"," + distance +
           "\"is_nearest\":" + (s.nearest ? "true" : "false") +
           ",\"location\":{\"latitude\":40.4,\"longitude\":-3.7},\"short_name\":\"ES\",\"continent\":"
           "\"Europe\"}";
}

inline std::string listText(const std::vector<Sample>& samples) {
    std::string text = "[";
    for (size_t i = 0; i < samples.size(); ++i)
        text += (i ? "," : "") + recordText(samples[i]);
    return text + "]";
}

inline std::vector<VPNRegion> regions(const std::vector<Sample>& samples) {
    return VPNRegion::decodeList(listText(samples));
}

inline std::vector<std::string> names(const std::vector<VPNRegion>& regions) {
    std::vector<std::string> out;
    for (const auto& r : regions)
        out.push_back(r.country_name);
    return out;
}

inline std::vector<int64_t> ids(const std::vector<VPNRegion>& regions) {
    std::vector<int64_t> out;
    for (const auto& r : regions)
        out.push_back(r.id);
    return out;
}

} // namespace regiontest
