// Access-control objects: a protection level (one of the kSecAttrAccessible values) plus policy
// flags, stored with an item in place of its bare accessibility.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>

namespace plat {

// Policy flags an access-control object may carry.
enum SecAccessControlCreateFlags : uint64_t {
    kSecAccessControlUserPresence = 1u << 0,
    kSecAccessControlBiometryAny = 1u << 1,
    kSecAccessControlBiometryCurrentSet = 1u << 3,
    kSecAccessControlDevicePasscode = 1u << 4,
    kSecAccessControlWatch = 1u << 5,
    kSecAccessControlOr = 1u << 14,
    kSecAccessControlAnd = 1u << 15,
    kSecAccessControlPrivateKeyUsage = 1u << 30,
    kSecAccessControlApplicationPassword = 1ull << 31,
};

// The immutable access-control value, held in an Object as an Opaque.
struct SecAccessControl {
    std::string protection;
    uint64_t flags = 0;
    bool operator==(const SecAccessControl&) const = default;
};

// The error domain of access-control failures; codes are OSStatus values.
inline constexpr const char* kSecAccessControlErrorDomain = "NSOSStatusErrorDomain";

// Makes an access-control object. Fails (absent object, `error` set when given) when `protection`
// is not an accessibility value, when `flags` holds unknown bits, or when it asks for both the
// "or" and the "and" combination.
Object SecAccessControlCreateWithFlags(const Object& protection, uint64_t flags, std::optional<Error>* error);

// The access-control value inside `object`, or null when it holds none.
const SecAccessControl* secAccessControl(const Object& object);
// Wraps a value as an access-control object.
Object makeSecAccessControlObject(SecAccessControl value);

// True for the seven kSecAttrAccessible values.
bool isSecAccessibilityValue(const std::string& value);

} // namespace plat
