// The upload service's reply (ttw.LogResponse) as the client decodes it: any bytes give a reply or
// the nanopb error, without crashing, leaking or allocating.
#include "transport/TTWLogResponseDecoding.h"

#include <pb_decode.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::Error error;
    ttw_LogResponse response = TTWDecodeLogResponse(plat::Data(data, data + size), &error);
    // A failed decode answers the all-empty reply.
    if (!error.domain.empty() && response.has_next_request_wait_millis) __builtin_trap();
    pb_release(ttw_LogResponse_fields, &response);
    return 0;
}
