// The names of the keyed-archive layout shared by KeyedArchiver and KeyedUnarchiver.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>

namespace plat::keyedarchive {

inline constexpr const char* kArchiverKey = "$archiver";
inline constexpr const char* kArchiverName = "NSKeyedArchiver";
inline constexpr const char* kVersionKey = "$version";
inline constexpr int64_t kVersion = 100000;
inline constexpr const char* kTopKey = "$top";
inline constexpr const char* kRootKey = "root";
inline constexpr const char* kObjectsKey = "$objects";
inline constexpr const char* kNullEntry = "$null";
inline constexpr const char* kClassKey = "$class";
inline constexpr const char* kClassNameKey = "$classname";
inline constexpr const char* kClassesKey = "$classes";
// A UID as the property-list layer carries it: a one-entry dictionary.
inline constexpr const char* kUIDKey = "CF$UID";
// Deeper object graphs are refused, so cycles and hostile nesting end in an error.
inline constexpr int kMaxDepth = 256;

inline Object uid(uint64_t index) {
    return Object(Object::Dict{{kUIDKey, Object(index)}});
}

// The index of a UID value, or -1 when `value` is not a UID.
inline int64_t uidIndex(const Object& value) {
    if (!value.isDict() || value.dict().size() != 1) return -1;
    const Object& n = value[kUIDKey];
    if (!n.isNumber() || !n.number().isInteger() || n.number().isBool()) return -1;
    uint64_t v = n.number().uint64Value();
    return v > uint64_t(INT64_MAX) ? -1 : int64_t(v);
}

} // namespace plat::keyedarchive
