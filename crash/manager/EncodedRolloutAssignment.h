// One rollout assignment as the crash reporter writes it: every string the lower-case hex of its
// UTF-8 bytes, the template version unchanged. Coded both ways under the keys "rollout_id",
// "variant_id", "template_version", "parameter_key" and "parameter_value"; decoding needs all five
// (a missing key, null or a value of another type throws plat::DecodingError). Decoding takes the
// strings as they stand: it does not check that they are hex.
#pragma once

#include "platform/foundation/Coding.h"

#include <cstdint>
#include <string>

class RolloutAssignment;

struct EncodedRolloutAssignment {
    static constexpr const char* kRolloutIdKey = "rollout_id";
    static constexpr const char* kVariantIdKey = "variant_id";
    static constexpr const char* kTemplateVersionKey = "template_version";
    static constexpr const char* kParameterKeyKey = "parameter_key";
    static constexpr const char* kParameterValueKey = "parameter_value";

    // The hex forms of the assignment's strings.
    explicit EncodedRolloutAssignment(const RolloutAssignment& assignment);
    // The fields as given (already encoded).
    EncodedRolloutAssignment(std::string rolloutId, std::string variantId, int64_t templateVersion,
                             std::string parameterKey, std::string parameterValue);

    void encode(plat::Encoder& encoder) const;
    static EncodedRolloutAssignment decode(plat::Decoder& decoder);

    bool operator==(const EncodedRolloutAssignment&) const = default;

    std::string rolloutId;
    std::string variantId;
    int64_t templateVersion = 0;
    std::string parameterKey;
    std::string parameterValue;
};
