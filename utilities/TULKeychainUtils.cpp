#include "utilities/TULKeychainUtils.h"

#include "platform/security/SecItem.h"

namespace {

void clear(std::optional<plat::Error>* error) {
    if (error) error->reset();
}

} // namespace

plat::Object::Dict TULKeychainUtils::multiplatformQueryWithQuery(const plat::Object::Dict& query) {
    plat::Object::Dict copy = query;
    copy[kSecUseDataProtectionKeychain] = plat::Object(true);
    return copy;
}

plat::Error TULKeychainUtils::keychainErrorWithFunction(const std::string& keychainFunction, int32_t status) {
    std::string reason = keychainFunction + " (" + std::to_string(status) + ")";
    return plat::Error(kTULKeychainErrorDomain, 0,
                       {{kTULLocalizedFailureReasonErrorKey, plat::Object(reason)}});
}

std::optional<plat::Data> TULKeychainUtils::getItemWithQuery(const plat::Object::Dict& query,
                                                             std::optional<plat::Error>* error) {
    plat::Object::Dict request = multiplatformQueryWithQuery(query);
    request[plat::kSecReturnData] = plat::Object(true);
    request[plat::kSecMatchLimit] = plat::Object(plat::kSecMatchLimitOne);
    plat::Object result;
    plat::OSStatus status = plat::SecItemCopyMatching(request, &result);
    if (status == plat::errSecSuccess && result.isData()) {
        clear(error);
        return result.data();
    }
    if (status == plat::errSecItemNotFound) {
        clear(error);
        return std::nullopt;
    }
    if (error) *error = keychainErrorWithFunction("SecItemCopyMatching", status);
    return std::nullopt;
}

bool TULKeychainUtils::setItem(const plat::Data& item, const plat::Object::Dict& query,
                               std::optional<plat::Error>* error) {
    plat::Object::Dict request = multiplatformQueryWithQuery(query);
    std::optional<plat::Error> readError;
    std::optional<plat::Data> existing = getItemWithQuery(request, &readError);
    if (readError) {
        if (error) *error = readError;
        return false;
    }
    plat::OSStatus status;
    const char* function;
    if (existing) {
        function = "SecItemUpdate";
        status = plat::SecItemUpdate(request, {{plat::kSecValueData, plat::Object(item)}});
    } else {
        function = "SecItemAdd";
        request[plat::kSecAttrAccessible] =
            plat::Object(plat::kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly);
        request[plat::kSecValueData] = plat::Object(item);
        status = plat::SecItemAdd(request, nullptr);
    }
    if (status != plat::errSecSuccess) {
        if (error) *error = keychainErrorWithFunction(function, status);
        return false;
    }
    clear(error);
    return true;
}

bool TULKeychainUtils::removeItemWithQuery(const plat::Object::Dict& query,
                                           std::optional<plat::Error>* error) {
    plat::OSStatus status = plat::SecItemDelete(multiplatformQueryWithQuery(query));
    if (status == plat::errSecSuccess || status == plat::errSecItemNotFound) {
        clear(error);
        return true;
    }
    if (error) *error = keychainErrorWithFunction("SecItemDelete", status);
    return false;
}
