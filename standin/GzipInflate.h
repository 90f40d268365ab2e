// Inflating the gzip bodies clients send. Bounded: a body that would inflate past `maxSize` bytes
// is refused rather than allowed to exhaust memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// The inflated bytes of one complete gzip member; none for damaged or truncated input, trailing
// bytes after the member, or output above `maxSize`.
std::optional<std::string> inflateGzip(std::string_view gzip, size_t maxSize);

} // namespace standin
