#include "platform/security/SecAccessControl.h"

#include "platform/security/SecItem.h"

#include <memory>

namespace plat {

namespace {

constexpr uint64_t kKnownFlags = kSecAccessControlUserPresence | kSecAccessControlBiometryAny |
                                 kSecAccessControlBiometryCurrentSet | kSecAccessControlDevicePasscode |
                                 kSecAccessControlWatch | kSecAccessControlOr | kSecAccessControlAnd |
                                 kSecAccessControlPrivateKeyUsage | kSecAccessControlApplicationPassword;

void fail(std::optional<Error>* error, const std::string& message) {
    if (error) *error = Error::withMessage(kSecAccessControlErrorDomain, errSecParam, message);
}

} // namespace

bool isSecAccessibilityValue(const std::string& value) {
    for (const char* known :
         {kSecAttrAccessibleWhenUnlocked, kSecAttrAccessibleAfterFirstUnlock, kSecAttrAccessibleAlways,
          kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly, kSecAttrAccessibleWhenUnlockedThisDeviceOnly,
          kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly, kSecAttrAccessibleAlwaysThisDeviceOnly}) {
        if (value == known) return true;
    }
    return false;
}

Object SecAccessControlCreateWithFlags(const Object& protection, uint64_t flags,
                                       std::optional<Error>* error) {
    if (!protection.isString() || !isSecAccessibilityValue(protection.string())) {
        fail(error, "The protection is not a valid accessibility value.");
        return {};
    }
    if ((flags & ~kKnownFlags) != 0) {
        fail(error, "The access-control flags contain unknown bits.");
        return {};
    }
    if ((flags & kSecAccessControlOr) && (flags & kSecAccessControlAnd)) {
        fail(error, "The access-control flags ask for both the or and the and combination.");
        return {};
    }
    return makeSecAccessControlObject(SecAccessControl{protection.string(), flags});
}

const SecAccessControl* secAccessControl(const Object& object) {
    return object.isOpaque() ? object.opaque().as<SecAccessControl>() : nullptr;
}

Object makeSecAccessControlObject(SecAccessControl value) {
    return Object(
        Opaque::make(std::make_shared<const SecAccessControl>(std::move(value)), "SecAccessControl"));
}

} // namespace plat
