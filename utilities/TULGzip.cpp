#include "utilities/TULGzip.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <string>
#include <zlib.h>

namespace {

constexpr size_t kWindowSize = 1024;
constexpr uint64_t kMaxLength = UINT32_MAX;
constexpr size_t kMaxReserve = 16u << 20;

void setError(plat::Error* error, int64_t code, plat::Object::Dict userInfo = {}) {
    if (error) *error = plat::Error(TULNSDataZlibErrorDomain, code, std::move(userInfo));
}

void setZlibError(plat::Error* error, int status, const char* message) {
    plat::Object::Dict info{{TULNSDataZlibErrorKey, plat::Object(static_cast<int32_t>(status))}};
    if (message) info[plat::kLocalizedDescriptionKey] = plat::Object(message);
    setError(error, TULNSDataZlibErrorInternal, std::move(info));
}

} // namespace

std::optional<plat::Data> TULGzip::tul_dataByGzippingData(const plat::Data& data, plat::Error* error) {
    return tul_dataByGzippingData(data.data(), data.size(), error);
}

std::optional<plat::Data> TULGzip::tul_dataByGzippingData(const void* bytes, size_t length,
                                                          plat::Error* error) {
    if (bytes == nullptr || length == 0) return std::nullopt;
    if (static_cast<uint64_t>(length) > kMaxLength) {
        setError(error, TULNSDataZlibErrorGreaterThan32BitsToCompress);
        return std::nullopt;
    }

    z_stream stream{};
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    stream.avail_in = static_cast<uInt>(length);
    int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (status != Z_OK) {
        setZlibError(error, status, nullptr);
        return std::nullopt;
    }

    plat::Data output;
    output.reserve(length / 4);
    Bytef window[kWindowSize];
    for (;;) {
        stream.next_out = window;
        stream.avail_out = kWindowSize;
        status = deflate(&stream, Z_FINISH);
        if (status < Z_OK || status > Z_STREAM_END) {
            setZlibError(error, status, nullptr);
            deflateEnd(&stream);
            return std::nullopt;
        }
        size_t produced = kWindowSize - stream.avail_out;
        if (produced > 0) output.insert(output.end(), window, window + produced);
        if (status == Z_STREAM_END) break;
    }
    // The finish flag makes zlib consume everything before it reports the end of the stream.
    assert(stream.avail_in == 0 && "Should have finished deflating without using all input");
    deflateEnd(&stream);
    return output;
}

std::optional<plat::Data> TULGzip::tul_dataByInflatingGzippedData(const plat::Data& data, size_t maxLength,
                                                                  plat::Error* error) {
    return tul_dataByInflatingGzippedData(data.data(), data.size(), maxLength, error);
}

std::optional<plat::Data> TULGzip::tul_dataByInflatingGzippedData(const void* bytes, size_t length,
                                                                  size_t maxLength, plat::Error* error) {
    if (bytes == nullptr || length == 0 || static_cast<uint64_t>(length) > kMaxLength) return std::nullopt;

    z_stream stream{};
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
    stream.avail_in = static_cast<uInt>(length);
    // 47 = a 32 KB window with automatic detection of a gzip or zlib header.
    int status = inflateInit2(&stream, 47);
    if (status != Z_OK) {
        setZlibError(error, status, stream.msg);
        return std::nullopt;
    }

    plat::Data output;
    // A guess for the common case, capped so that a large input cannot reserve gigabytes up front.
    output.reserve(std::min({length * 4, kMaxReserve, maxLength}));
    Bytef window[kWindowSize];
    for (;;) {
        stream.next_out = window;
        stream.avail_out = kWindowSize;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            setZlibError(error, status, stream.msg);
            inflateEnd(&stream);
            return std::nullopt;
        }
        size_t produced = kWindowSize - stream.avail_out;
        if (produced > maxLength - output.size()) {
            inflateEnd(&stream);
            setError(error, TULNSDataZlibErrorOutputLimitExceeded,
                     {{TULNSDataZlibOutputLimitKey, plat::Object(static_cast<uint64_t>(maxLength))},
                      {plat::kLocalizedDescriptionKey, plat::Object("The inflated data would exceed " +
                                                                    std::to_string(maxLength) + " bytes.")}});
            return std::nullopt;
        }
        if (produced > 0) output.insert(output.end(), window, window + produced);
        if (status == Z_STREAM_END) break;
    }
    uInt remaining = stream.avail_in;
    inflateEnd(&stream);
    if (remaining > 0) {
        setError(error, TULNSDataZlibErrorDataRemaining,
                 {{TULNSDataZlibRemainingBytesKey, plat::Object(static_cast<uint32_t>(remaining))}});
        return std::nullopt;
    }
    return output;
}
