#include "app/network/Location.h"

#include "platform/foundation/Coding.h"

const char* Location::stringValue(CodingKeys key) {
    return key == CodingKeys::latitude ? "latitude" : "longitude";
}

Location Location::decode(plat::Decoder& decoder) {
    plat::KeyedDecodingContainer container = decoder.container();
    Location location;
    location.latitude = container.decode<float>(stringValue(CodingKeys::latitude));
    location.longitude = container.decode<float>(stringValue(CodingKeys::longitude));
    return location;
}
