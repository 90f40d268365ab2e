// The runtime's type encodings: "@" objects, "i" ints, "{name=dd}" structures and so on, with the
// size and alignment of each, and method encodings ("v24@0:8@16": the result, then each argument,
// each optionally followed by its frame offset). Text that is not a well-formed encoding, or nests
// more than 32 levels, cannot be read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::rt {

struct TypeInfo {
    std::string encoding; // the type's own text, without qualifiers or offset
    size_t size = 0;
    size_t alignment = 1;
    bool isObject = false; // an object or a block
};

// One type filling the whole text; none when it cannot be read.
std::optional<TypeInfo> typeFromEncoding(std::string_view encoding);
// The result and argument types of a method encoding; none when it cannot be read.
std::optional<std::vector<TypeInfo>> methodTypesFromEncoding(std::string_view encoding);

} // namespace plat::rt
