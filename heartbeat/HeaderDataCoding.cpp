#include "heartbeat/HeaderDataCoding.h"

#include "platform/foundation/Base64.h"
#include "utilities/TULGzip.h"

namespace heartbeat {

std::optional<plat::Data> zipped(const plat::Data& data, plat::Error* error) {
    return TULGzip::tul_dataByGzippingData(data, error);
}

std::optional<plat::Data> unzipped(const plat::Data& data, plat::Error* error) {
    return TULGzip::tul_dataByInflatingGzippedData(data, kMaxUnzippedLength, error);
}

std::string base64URLEncodedString(const plat::Data& data) {
    return plat::base64URLEncode(data);
}

std::optional<plat::Data> dataFromBase64URLEncoded(std::string_view text) {
    return plat::base64URLDecode(text);
}

} // namespace heartbeat
