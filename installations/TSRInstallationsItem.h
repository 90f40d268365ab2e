// The installation identity of one app: the installation identifier (TID), the refresh token and
// auth token the service handed out for it, its registration state and the legacy token that is
// sent once at registration. A plain value: copies are independent, except that they share the
// (immutable) auth token.
#pragma once

#include "installations/TSRInstallationsStoredAuthToken.h"
#include "platform/object/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TSRInstallationsStoredItem;

enum TSRInstallationsRegistrationStatus : int64_t {
    TSRInstallationsRegistrationStatusUnknown = 0,      // invalid
    TSRInstallationsRegistrationStatusUnregistered = 1, // made locally, not yet registered
    TSRInstallationsRegistrationStatusRegistered = 2,
};

class TSRInstallationsItem {
public:
    TSRInstallationsItem(std::string appID, std::string tesseraAppName)
        : appID_(std::move(appID)), tesseraAppName_(std::move(tesseraAppName)) {}

    const std::string& appID() const { return appID_; }
    const std::string& tesseraAppName() const { return tesseraAppName_; }
    // Strings are empty when there is none.
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

    // The store key: the app id immediately followed by the app name.
    std::string identifier() const { return identifierWithAppID(appID_, tesseraAppName_); }
    static std::string identifierWithAppID(const std::string& appID, const std::string& appName) {
        return appID + appName;
    }

    // Takes TID, tokens, status and legacy token from the archived form; `storedItem` makes it.
    void updateWithStoredItem(const TSRInstallationsStoredItem& item);
    std::shared_ptr<TSRInstallationsStoredItem> storedItem() const;

    // True for a usable record; otherwise false with an error (code 0) listing every problem.
    bool isValid(std::optional<plat::Error>* error = nullptr) const;

    // A new random TID: 22 characters of the URL-safe Base64 alphabet, starting with c, d, e or f.
    static std::string generateTID();

private:
    std::string appID_;
    std::string tesseraAppName_;
    std::string tesseraInstallationID_;
    std::string refreshToken_;
    std::shared_ptr<const TSRInstallationsStoredAuthToken> authToken_;
    int64_t registrationStatus_ = TSRInstallationsRegistrationStatusUnknown;
    std::string IIDDefaultToken_;
};
