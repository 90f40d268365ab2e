#include "standin/GzipInflate.h"

#include <zlib.h>

#include <climits>

namespace standin {

std::optional<std::string> inflateGzip(std::string_view gzip, size_t maxSize) {
    if (gzip.size() > UINT_MAX) return std::nullopt;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
    stream.avail_in = static_cast<uInt>(gzip.size());
    std::string output;
    char chunk[16384];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        output.append(chunk, sizeof chunk - stream.avail_out);
        if (output.size() > maxSize) break;
        // No progress without an error means the input ended before the member did.
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) break;
    }
    bool complete = status == Z_STREAM_END && stream.avail_in == 0 && output.size() <= maxSize;
    inflateEnd(&stream);
    if (!complete) return std::nullopt;
    return output;
}

} // namespace standin
