// Property lists (binary or XML) to and from Objects. Booleans, signed and unsigned integers,
// reals, strings, data, dates, arrays and dictionaries keep their kind in both directions. Used by
// user defaults, the bundle's Info.plist, the keyed archiver and the options file.
// A keyed-archive reference (UID) is read as the dictionary {"CF$UID": n}, the form XML property
// lists spell it in, and such a one-entry dictionary with an integer is written back as a UID.
// Integers are stored signed in 64 bits: unsigned values above INT64_MAX are refused on write.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <optional>
#include <string>
#include <string_view>

namespace plat::PropertyList {

// The domain and codes of property-list errors.
inline constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
inline constexpr int64_t kReadCorruptError = 3840;
inline constexpr int64_t kWriteInvalidError = 3851;

// Nesting deeper than this is refused in both directions, so hostile input cannot exhaust the stack.
inline constexpr int kMaxDepth = 256;

// Parses a binary or XML property list. Returns the root object, or absent with `error` set
// (code kReadCorruptError) when the bytes are empty, malformed, truncated or nested too deeply, or
// hold something toXML/toBinary would refuse (text with a NUL or malformed UTF-8, dates that are
// not finite or outside the writable range): whatever is read can be written back.
Object fromBytes(std::string_view bytes, Error* error = nullptr);

// Encodes `value`; none with `error` set (code kWriteInvalidError) when the value holds something a
// property list cannot carry: absent, null or opaque values, text or keys with a NUL byte or
// malformed UTF-8, or dates outside the years 1933 to 2069.
std::optional<std::string> toXML(const Object& value, Error* error = nullptr);
std::optional<std::string> toBinary(const Object& value, Error* error = nullptr);

// True when `value` (and everything inside it) can be encoded; otherwise false with a reason.
bool isValid(const Object& value, std::string* reason = nullptr);

// Whether a property list can carry this text (as a string or key): well-formed UTF-8, no NUL.
bool isValidText(std::string_view text);
// Whether a property list can carry this date: finite, and whole seconds since 2001 that fit in
// 32 bits (about 1933 to 2069).
bool isValidDate(Date date);

} // namespace plat::PropertyList
