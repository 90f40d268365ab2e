// One VPN server region as the API lists it for the user ("users/me/regions"). A plain value,
// identified by `id`; the JSON key of each field is the field's own name. Decoding is strict: every
// field but `distance` is required and must hold its exact JSON kind, so one bad record fails a
// whole list. Besides decoding, the program only copies records (renaming the best region).
#pragma once

#include "app/network/Location.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class JSON;

namespace plat {
class Decoder;
}

struct VPNRegion {
    int64_t id = 0; // the value stored as "configId" and sent when connecting
    bool is_streaming = false;
    bool is_free = false;
    bool is_alive = false;
    std::string server_domain;
    std::string city;
    std::string country_code;
    bool is_p2p = false;
    std::string ip;
    int64_t load_percentage = 0;
    std::string country_name;        // the list's sort key; rewritten for the best region
    std::optional<int64_t> distance; // absent when the reply has no such key or null
    bool is_nearest = false;
    Location location;
    std::string short_name;
    std::string continent;

    // The JSON keys, one per field, in field order, spelled like the fields.
    enum class CodingKeys {
        id,
        is_streaming,
        is_free,
        is_alive,
        server_domain,
        city,
        country_code,
        is_p2p,
        ip,
        load_percentage,
        country_name,
        distance,
        is_nearest,
        location,
        short_name,
        continent,
    };
    static const char* stringValue(CodingKeys key);

    // Throws plat::DecodingError with the path of keys down to the failing field.
    static VPNRegion decode(plat::Decoder& decoder);

    // A reply as a list of records, decoded as its JSON text would decode (the top level must be an
    // array). Throws plat::DecodingError, or JSONException for a value that is not writable JSON.
    static std::vector<VPNRegion> decodeList(const JSON& reply);
    static std::vector<VPNRegion> decodeList(const std::string& jsonText);

    // Field by field, so views built from equal records can keep what they showed.
    bool operator==(const VPNRegion&) const = default;
};
