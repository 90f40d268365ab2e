// A rollouts-state document as a report folder holds it: bytes of unknown origin decoded into the
// encoded assignments. A document that decodes must encode again and read back the same.
#include "crash/manager/EncodedRolloutsState.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<EncodedRolloutsState> state = EncodedRolloutsState::fromJSON(fuzz::text(data, size));
    if (!state) return 0;
    std::optional<plat::Data> encoded = state->jsonData();
    fuzz::check(encoded.has_value(), "a decoded document encodes");
    std::optional<EncodedRolloutsState> again = EncodedRolloutsState::fromJSON(plat::toString(*encoded));
    fuzz::check(again.has_value() && *again == *state, "an encoded document reads back the same");
    return 0;
}
