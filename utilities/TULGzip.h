// Gzip compression and gzip/zlib inflation of byte buffers. Both run zlib's streaming interface
// over a small fixed output window and report failures as errors of one domain; no partial output
// is ever returned.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// The error domain of both operations, and its codes.
inline constexpr const char* TULNSDataZlibErrorDomain = "com.tessera.TULNSDataZlibErrorDomain";
// User-info key: the zlib status (a signed integer number).
inline constexpr const char* TULNSDataZlibErrorKey = "TULNSDataZlibErrorKey";
// User-info key: the number of input bytes left after the end of the compressed stream.
inline constexpr const char* TULNSDataZlibRemainingBytesKey = "TULNSDataZlibRemainingBytesKey";

enum TULNSDataZlibError : int64_t {
    // The input to compress does not fit in 32 bits.
    TULNSDataZlibErrorGreaterThan32BitsToCompress = 1024,
    // zlib reported a failure while initialising or streaming.
    TULNSDataZlibErrorInternal = 1025,
    // The compressed stream ended before the input did.
    TULNSDataZlibErrorDataRemaining = 1026,
    // The inflated bytes would exceed the caller's limit.
    TULNSDataZlibErrorOutputLimitExceeded = 1027,
};

// User-info key of TULNSDataZlibErrorOutputLimitExceeded: the limit, in bytes.
inline constexpr const char* TULNSDataZlibOutputLimitKey = "TULNSDataZlibOutputLimitKey";

struct TULGzip {
    // A gzip stream of `data`. Empty input answers none without an error; failures answer none and
    // fill `error` when it is given. Thread-safe.
    static std::optional<plat::Data> tul_dataByGzippingData(const plat::Data& data,
                                                            plat::Error* error = nullptr);
    static std::optional<plat::Data> tul_dataByGzippingData(const void* bytes, size_t length,
                                                            plat::Error* error = nullptr);

    // The bytes inflated from a gzip or zlib stream (the header is detected), at most `maxLength`
    // of them: a small input can stand for gigabytes, so every caller says how much it expects.
    // Empty or oversized input answers none without an error; a damaged, truncated or over-long
    // stream, or one that inflates past `maxLength`, answers none and fills `error`.
    static std::optional<plat::Data> tul_dataByInflatingGzippedData(const plat::Data& data, size_t maxLength,
                                                                    plat::Error* error = nullptr);
    static std::optional<plat::Data> tul_dataByInflatingGzippedData(const void* bytes, size_t length,
                                                                    size_t maxLength,
                                                                    plat::Error* error = nullptr);
};
