// The archived form of an installation's short-lived auth token: its status, the token text and
// when it expires. Immutable once shared (the item hands the same object to its copies); archived
// with secure coding under "status", "token", "expirationDate" and "storageVersion".
#pragma once

#include "platform/foundation/SecureCoding.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

enum TSRInstallationsAuthTokenStatus : int64_t {
    TSRInstallationsAuthTokenStatusUnknown = 0,
    TSRInstallationsAuthTokenStatusTokenReceived = 1,
};

// The archive layout this build writes; a newer one is read with a warning.
inline constexpr int64_t kTSRInstallationsStoredAuthTokenStorageVersion = 1;

class TSRInstallationsStoredAuthToken final : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TSRInstallationsStoredAuthToken";

    TSRInstallationsStoredAuthToken() = default;
    TSRInstallationsStoredAuthToken(int64_t status, std::string token,
                                    std::optional<plat::Date> expirationDate)
        : status_(status), token_(std::move(token)), expirationDate_(expirationDate) {}

    int64_t status() const { return status_; }
    void setStatus(int64_t status) { status_ = status; }
    // Empty when there is none.
    const std::string& token() const { return token_; }
    void setToken(std::string token) { token_ = std::move(token); }
    const std::optional<plat::Date>& expirationDate() const { return expirationDate_; }
    void setExpirationDate(std::optional<plat::Date> date) { expirationDate_ = date; }

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Fails the unarchiving when a field holds a value of another class.
    static std::shared_ptr<TSRInstallationsStoredAuthToken> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    int64_t status_ = TSRInstallationsAuthTokenStatusUnknown;
    std::string token_;
    std::optional<plat::Date> expirationDate_;
};
