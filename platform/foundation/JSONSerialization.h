// JSON text to and from plat::Object. Parsing keeps booleans, signed, unsigned and floating-point
// numbers apart, allows top-level scalars, rejects invalid UTF-8 and nesting deeper than
// kMaxDepth, and reports every failure as an Error instead of throwing.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <optional>
#include <string_view>

namespace plat {

class JSONSerialization {
public:
    // The error domain of parse and write failures; codes follow the platform's own
    // (3840 for malformed input, 3852 for values that cannot be written).
    static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
    static constexpr int64_t kParseErrorCode = 3840;
    static constexpr int64_t kWriteErrorCode = 3852;
    static constexpr size_t kMaxDepth = 512;
    // User-info keys of parse and write errors: a developer-facing message with the position,
    // and the byte offset of the failure in the input.
    static constexpr const char* kDebugDescriptionKey = "NSDebugDescription";
    static constexpr const char* kErrorIndexKey = "NSJSONSerializationErrorIndex";

    enum ReadingOptions : unsigned {
        ReadingNone = 0,
        // Accepted for compatibility: top-level scalars are always allowed.
        FragmentsAllowed = 1u << 2,
    };
    enum WritingOptions : unsigned {
        WritingNone = 0,
        PrettyPrinted = 1u << 0,
        SortedKeys = 1u << 1, // keys are always written sorted; kept for callers that pass it
        FragmentsAllowedWriting = 1u << 2,
        WithoutEscapingSlashes = 1u << 3,
    };

    // Bytes to an object. Integers that fit int64 become Int64 Numbers, larger positive ones
    // UInt64, anything beyond 64 bits or with a fraction or exponent becomes a Double. On failure
    // the result is absent and `error` (when given) describes the position.
    static Object jsonObject(std::string_view bytes, unsigned options = ReadingNone, Error* error = nullptr);

    // Whether `object` can be written: arrays and dictionaries of strings, finite numbers, null
    // and nested values; a top-level scalar only with FragmentsAllowedWriting.
    static bool isValidJSONObject(const Object& object, unsigned options = WritingNone);

    // An object to UTF-8 bytes; none (and `error`) when it holds something JSON cannot carry.
    static std::optional<std::string> data(const Object& object, unsigned options = WritingNone,
                                           Error* error = nullptr);
};

} // namespace plat
