#include "transport/TTWLogResponseDecoding.h"

#include <pb_decode.h>

#include <utility>

namespace {

// Checks one QoS tier configuration of a reply and drops it.
bool decodeQosTierConfiguration(pb_istream_t* stream, const pb_field_t*, void**) {
    ttw_QosTierConfiguration entry = ttw_QosTierConfiguration_init_zero;
    return pb_decode(stream, ttw_QosTierConfiguration_fields, &entry);
}

} // namespace

ttw_LogResponse TTWDecodeLogResponse(const plat::Data& bytes, plat::Error* error) {
    ttw_LogResponse response = ttw_LogResponse_init_zero;
    response.qos_tiers_override.qos_tier_configuration.funcs.decode = decodeQosTierConfiguration;
    pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
    if (pb_decode(&stream, ttw_LogResponse_fields, &response)) return response;
    if (error) {
        const char* message = PB_GET_ERROR(&stream);
        plat::Object::Dict userInfo;
        userInfo["nanopb error:"] = plat::Object(std::string(message ? message : "(none)"));
        *error = plat::Error("NSURLErrorDomain", -1, std::move(userInfo));
    }
    ttw_LogResponse empty = ttw_LogResponse_init_zero;
    return empty;
}
