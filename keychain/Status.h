// The error of the keychain store: one case per OSStatus code of the security calls, each with a
// fixed sentence. Codes that no case names become `unexpectedError`. Thrown by the store's
// operations; bridges to a plat::Error in the domain "io.velmora.keychain.error".
#pragma once

#include "keychain/StatusCases.h"
#include "platform/object/Error.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace keychain {

// The error domain of bridged statuses.
extern const char* const KeychainErrorDomain;

class Status : public std::exception {
public:
    enum Code : int32_t {
#define VELMORA_STATUS_ENUM(name, code, text) name = code,
        VELMORA_KEYCHAIN_STATUS_CASES(VELMORA_STATUS_ENUM)
#undef VELMORA_STATUS_ENUM
    };

    Status(Code code) : code_(code) {} // NOLINT: a case is a Status

    // The case with exactly this code, or none.
    static std::optional<Status> fromRawValue(int32_t rawValue);
    // The case with this code, or `unexpectedError` when no case has it.
    static Status fromStatus(int32_t status);
    // Every case, in declaration order.
    static const std::vector<Status>& allCases();

    Code code() const {
        return code_;
    }
    int32_t rawValue() const {
        return code_;
    }
    // The case's fixed sentence (empty for `internalComponent`).
    const std::string& description() const;
    const char* what() const noexcept override {
        return description().c_str();
    }

    static std::string errorDomain() {
        return KeychainErrorDomain;
    }
    int64_t errorCode() const {
        return code_;
    }
    // { NSLocalizedDescription: description }
    plat::Object::Dict errorUserInfo() const;
    // The bridged error: errorDomain, errorCode, errorUserInfo.
    plat::Error error() const;

    friend bool operator==(const Status& a, const Status& b) {
        return a.code_ == b.code_;
    }

private:
    Code code_;
};

} // namespace keychain

template <> struct std::hash<keychain::Status> {
    size_t operator()(const keychain::Status& s) const noexcept { return std::hash<int32_t>()(s.rawValue()); }
};
