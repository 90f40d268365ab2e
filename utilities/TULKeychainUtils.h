// Thin class methods over the keychain item calls: read one item's data, write it (update or
// add), delete it. Failures come back as errors of "com.tul.keychain.ErrorDomain" naming the call
// and its status; a missing item is no failure for reads and deletes. Thread-safe.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* kTULKeychainErrorDomain = "com.tul.keychain.ErrorDomain";
// The user-info key of the failure text; the platform's failure-reason key.
inline constexpr const char* kTULLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
// Items of the data-protection keychain; this platform's store has only one kind and ignores it.
inline constexpr const char* kSecUseDataProtectionKeychain = "kSecUseDataProtectionKeychain";

class TULKeychainUtils {
public:
    // The data of the one item `query` matches; none without error when there is no such item.
    // `error`, when given, is reset on success.
    static std::optional<plat::Data> getItemWithQuery(const plat::Object::Dict& query,
                                                      std::optional<plat::Error>* error = nullptr);
    // Updates the matching item's data, or adds a new item (accessible after first unlock, this
    // device only) when none exists.
    static bool setItem(const plat::Data& item, const plat::Object::Dict& query,
                        std::optional<plat::Error>* error = nullptr);
    // Deletes the matching items; a missing item counts as success.
    static bool removeItemWithQuery(const plat::Object::Dict& query,
                                    std::optional<plat::Error>* error = nullptr);
    // A copy of `query` that asks for the data-protection keychain.
    static plat::Object::Dict multiplatformQueryWithQuery(const plat::Object::Dict& query);
    // Code 0, failure reason "<function> (<status>)".
    static plat::Error keychainErrorWithFunction(const std::string& keychainFunction, int32_t status);
};
