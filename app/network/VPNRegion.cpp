#include "app/network/VPNRegion.h"

#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONSerialization.h"
#include "json/JSON.h"
#include "json/JSONError.h"

const char* VPNRegion::stringValue(CodingKeys key) {
    static constexpr const char* names[] = {
        "id",           "is_streaming", "is_free",    "is_alive",        "server_domain", "city",
        "country_code", "is_p2p",       "ip",         "load_percentage", "country_name",  "distance",
        "is_nearest",   "location",     "short_name", "continent",
    };
    return names[static_cast<int>(key)];
}

VPNRegion VPNRegion::decode(plat::Decoder& decoder) {
    using K = CodingKeys;
    plat::KeyedDecodingContainer c = decoder.container();
    // Read in field order so the first failing field is the one reported.
    VPNRegion r;
    r.id = c.decode<int64_t>(stringValue(K::id));
    r.is_streaming = c.decode<bool>(stringValue(K::is_streaming));
    r.is_free = c.decode<bool>(stringValue(K::is_free));
    r.is_alive = c.decode<bool>(stringValue(K::is_alive));
    r.server_domain = c.decode<std::string>(stringValue(K::server_domain));
    r.city = c.decode<std::string>(stringValue(K::city));
    r.country_code = c.decode<std::string>(stringValue(K::country_code));
    r.is_p2p = c.decode<bool>(stringValue(K::is_p2p));
    r.ip = c.decode<std::string>(stringValue(K::ip));
    r.load_percentage = c.decode<int64_t>(stringValue(K::load_percentage));
    r.country_name = c.decode<std::string>(stringValue(K::country_name));
    r.distance = c.decodeIfPresent<int64_t>(stringValue(K::distance));
    r.is_nearest = c.decode<bool>(stringValue(K::is_nearest));
    r.location = c.decode<Location>(stringValue(K::location));
    r.short_name = c.decode<std::string>(stringValue(K::short_name));
    r.continent = c.decode<std::string>(stringValue(K::continent));
    return r;
}

std::vector<VPNRegion> VPNRegion::decodeList(const JSON& reply) {
    // Writing the value out as text and parsing it again gives back the same values, so the
    // records are decoded from the value itself; only what the writer would refuse is refused.
    plat::Object raw = reply.rawValue();
    if (!plat::JSONSerialization::isValidJSONObject(raw)) throw JSONException(JSONError::invalidJSON);
    return plat::ObjectDecoder().decode<std::vector<VPNRegion>>(raw);
}

std::vector<VPNRegion> VPNRegion::decodeList(const std::string& jsonText) {
    return plat::JSONDecoder().decode<std::vector<VPNRegion>>(std::string_view(jsonText));
}
