// The upload's own gzip step: a body is sent compressed only when gzip worked and came out strictly
// shorter (the choice is the upload operation's). Never throws; any zlib failure gives none.
#pragma once

#include "platform/object/Object.h"

#include <optional>

class TTWCompressionHelper {
public:
    // The gzip form (header and trailer) of `data` at the default level; none for empty input,
    // input longer than 4294967295 bytes, or a zlib failure.
    static std::optional<plat::Data> gzippedData(const plat::Data& data);
    // Whether `data` starts with the gzip magic bytes 0x1f 0x8b.
    static bool isGzipped(const plat::Data& data);
};
