// An upload body (ttw.BatchedLogRequest) as the stand-in decodes it: any bytes give a summary or an
// error, without crashing or leaking.
#include "standin/UploadBodyDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    standin::decodeUploadBody(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    return 0;
}
