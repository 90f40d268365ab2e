// The archived form of an installation record, as the keychain keeps it: identifier, refresh token,
// auth token, registration status and the legacy token. The app id and name are not archived; the
// store key they make up tells whose record it is. Archived with secure coding.
#pragma once

#include "installations/TSRInstallationsStoredAuthToken.h"

#include <memory>
#include <string>

inline constexpr int64_t kTSRInstallationsStoredItemStorageVersion = 1;

class TSRInstallationsStoredItem final : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TSRInstallationsStoredItem";

    const std::string& tesseraInstallationID() const { return tesseraInstallationID_; }
    void setTesseraInstallationID(std::string value) { tesseraInstallationID_ = std::move(value); }
    const std::string& refreshToken() const { return refreshToken_; }
    void setRefreshToken(std::string value) { refreshToken_ = std::move(value); }
    const std::shared_ptr<const TSRInstallationsStoredAuthToken>& authToken() const { return authToken_; }
    void setAuthToken(std::shared_ptr<const TSRInstallationsStoredAuthToken> value) {
        authToken_ = std::move(value);
    }
    int64_t registrationStatus() const { return registrationStatus_; }
    void setRegistrationStatus(int64_t value) { registrationStatus_ = value; }
    const std::string& IIDDefaultToken() const { return IIDDefaultToken_; }
    void setIIDDefaultToken(std::string value) { IIDDefaultToken_ = std::move(value); }

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Fails the unarchiving when a field holds a value of another class.
    static std::shared_ptr<TSRInstallationsStoredItem> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    std::string tesseraInstallationID_;
    std::string refreshToken_;
    std::shared_ptr<const TSRInstallationsStoredAuthToken> authToken_;
    int64_t registrationStatus_ = 0;
    std::string IIDDefaultToken_;
};
