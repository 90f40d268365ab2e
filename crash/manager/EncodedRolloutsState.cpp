#include "crash/manager/EncodedRolloutsState.h"

void EncodedRolloutsState::encode(plat::Encoder& encoder) const {
    plat::KeyedEncodingContainer container = encoder.container();
    container.encode(rollouts, kRolloutsKey);
}

EncodedRolloutsState EncodedRolloutsState::decode(plat::Decoder& decoder) {
    plat::KeyedDecodingContainer container = decoder.container();
    return EncodedRolloutsState(container.decode<std::vector<EncodedRolloutAssignment>>(kRolloutsKey));
}

std::optional<plat::Data> EncodedRolloutsState::jsonData() const {
    try {
        return plat::JSONEncoder().encode(*this);
    } catch (const plat::EncodingError&) {
        return std::nullopt;
    }
}

std::optional<EncodedRolloutsState> EncodedRolloutsState::fromJSON(std::string_view bytes) {
    try {
        return plat::JSONDecoder().decode<EncodedRolloutsState>(bytes);
    } catch (const plat::DecodingError&) {
        return std::nullopt;
    }
}
