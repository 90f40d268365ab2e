#include "transport/TTWCompressionHelper.h"

#include <zlib.h>

#include <cstdint>

namespace {

constexpr int kGzipWindowBits = 31; // 15 bits of window, with the gzip header and trailer
constexpr size_t kChunkSize = 1024;

} // namespace

std::optional<plat::Data> TTWCompressionHelper::gzippedData(const plat::Data& data) {
    if (data.empty() || data.size() > UINT32_MAX) return std::nullopt;
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return std::nullopt;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());

    plat::Data output;
    output.reserve(data.size() / 4);
    uint8_t chunk[kChunkSize];
    int status = Z_OK;
    do {
        stream.next_out = chunk;
        stream.avail_out = kChunkSize;
        status = deflate(&stream, Z_FINISH);
        if (status != Z_OK && status != Z_STREAM_END) {
            deflateEnd(&stream);
            return std::nullopt;
        }
        output.insert(output.end(), chunk, chunk + (kChunkSize - stream.avail_out));
    } while (status != Z_STREAM_END);
    deflateEnd(&stream);
    return output;
}

bool TTWCompressionHelper::isGzipped(const plat::Data& data) {
    return data.size() >= 2 && data[0] == 0x1f && data[1] == 0x8b;
}
