#include "sessions/TSRSESNanoPBHelpers.h"

#include "sessions/SessionsLogger.h"

#include <pb_encode.h>

#include <cstdlib>
#include <cstring>
#include <limits>

pb_bytes_array_t* TSRSESEncodeData(const plat::Data& bytes) {
    if (bytes.size() > std::numeric_limits<pb_size_t>::max()) return nullptr;
    auto* array = static_cast<pb_bytes_array_t*>(std::malloc(PB_BYTES_ARRAY_T_ALLOCSIZE(bytes.size())));
    if (!array) return nullptr;
    array->size = static_cast<pb_size_t>(bytes.size());
    if (!bytes.empty()) std::memcpy(array->bytes, bytes.data(), bytes.size());
    return array;
}

pb_bytes_array_t* TSRSESEncodeString(std::string_view string) {
    return TSRSESEncodeData(plat::Data(string.begin(), string.end()));
}

std::string TSRSESDecodeString(const pb_bytes_array_t* array) {
    if (!array || array->size == 0) return {};
    return std::string(reinterpret_cast<const char*>(array->bytes), array->size);
}

plat::Data TSRSESDecodeData(const pb_bytes_array_t* array) {
    if (!array || array->size == 0) return {};
    return plat::Data(array->bytes, array->bytes + array->size);
}

void nanopb_free(void* pointer) {
    std::free(pointer);
}

bool TSRSESIsPBArrayEqual(const pb_bytes_array_t* array, const pb_bytes_array_t* expected) {
    const pb_size_t length = array ? array->size : 0;
    const pb_size_t expectedLength = expected ? expected->size : 0;
    if (length != expectedLength) return false;
    return length == 0 || std::memcmp(array->bytes, expected->bytes, length) == 0;
}

bool TSRSESIsPBStringEqual(const pb_bytes_array_t* array, std::string_view string) {
    pb_bytes_array_t* expected = TSRSESEncodeString(string);
    const bool equal = TSRSESIsPBArrayEqual(array, expected);
    nanopb_free(expected);
    return equal;
}

bool TSRSESIsPBDataEqual(const pb_bytes_array_t* array, const plat::Data& bytes) {
    pb_bytes_array_t* expected = TSRSESEncodeData(bytes);
    const bool equal = TSRSESIsPBArrayEqual(array, expected);
    nanopb_free(expected);
    return equal;
}

pb_size_t TSRSESGetAppleApplicationInfoTag() {
    return tessera_apphealth_sessions_ApplicationInfo_apple_app_info_tag;
}

plat::Error TSRSESMakeEncodeError(const std::string& description) {
    return plat::Error::withMessage(kTSRSESEncodeErrorDomain, -1, description);
}

namespace {

std::string streamError(const char* message) {
    return message ? std::string(message) : std::string("(none)");
}

} // namespace

std::optional<plat::Data> TSRSESEncodeProto(const pb_msgdesc_t* fields, const void* message,
                                            plat::Error* error) {
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!pb_encode(&sizing, fields, message)) {
        if (error)
            *error = TSRSESMakeEncodeError("Error in nanopb encoding to get size: " +
                                           streamError(PB_GET_ERROR(&sizing)));
        return std::nullopt;
    }
    plat::Data bytes(sizing.bytes_written);
    pb_ostream_t stream = pb_ostream_from_buffer(bytes.data(), bytes.size());
    if (!pb_encode(&stream, fields, message)) {
        if (error)
            *error = TSRSESMakeEncodeError("Error in nanopb encoding: " + streamError(PB_GET_ERROR(&stream)));
        return std::nullopt;
    }
    return bytes;
}

std::string TSRSESPBGetError(const pb_istream_t& stream) {
    return streamError(stream.errmsg);
}

plat::Data TSRSESTransportBytes(const tessera_apphealth_sessions_SessionEvent& message) {
    plat::Error error;
    std::optional<plat::Data> bytes =
        TSRSESEncodeProto(tessera_apphealth_sessions_SessionEvent_fields, &message, &error);
    if (!bytes) {
        TSRLogError("TesseraSessions", "I-SES000001",
                    "Session Event failed to encode as proto with error: %@",
                    error.domain + " " + std::to_string(error.code) + " " + error.localizedDescription());
        TSRLogError("TesseraSessions", "I-SES000002",
                    "Session Event generated nil transportBytes. Returning empty data.");
        return {};
    }
    return *bytes;
}
