// A region's position on the map, in degrees, as the API sends it. Built only by decoding JSON
// (both keys required, numbers that fit a 32-bit float) or from its two fields.
#pragma once

namespace plat {
class Decoder;
}

struct Location {
    float latitude = 0;
    float longitude = 0;

    // The JSON keys, one per field, spelled like the fields.
    enum class CodingKeys { latitude, longitude };
    static const char* stringValue(CodingKeys key);

    // Throws plat::DecodingError.
    static Location decode(plat::Decoder& decoder);

    // Field by field, so views built from equal records can keep what they showed.
    bool operator==(const Location&) const = default;
};
