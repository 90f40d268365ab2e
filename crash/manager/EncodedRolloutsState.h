// The rollouts-state document written into a report: {"rollouts": [encoded assignments]}. Coded
// both ways; decoding needs the "rollouts" array and every assignment whole (plat::DecodingError
// otherwise), so a document read back from a report folder is either all there or refused.
#pragma once

#include "crash/manager/EncodedRolloutAssignment.h"
#include "platform/object/Object.h"

#include <optional>
#include <string_view>
#include <vector>

struct EncodedRolloutsState {
    static constexpr const char* kRolloutsKey = "rollouts";

    explicit EncodedRolloutsState(std::vector<EncodedRolloutAssignment> assignments)
        : rollouts(std::move(assignments)) {}

    void encode(plat::Encoder& encoder) const;
    static EncodedRolloutsState decode(plat::Decoder& decoder);

    // The document as JSON bytes (keys sorted); none when it cannot be encoded.
    std::optional<plat::Data> jsonData() const;
    // A document from JSON bytes of unknown origin; none for bytes that are not JSON or a document
    // that lacks a key or has a value of the wrong type.
    static std::optional<EncodedRolloutsState> fromJSON(std::string_view bytes);

    bool operator==(const EncodedRolloutsState&) const = default;

    std::vector<EncodedRolloutAssignment> rollouts;
};
