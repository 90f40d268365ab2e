// An auth token as the installations facade hands it out: the token text and when it expires.
#pragma once

#include "platform/object/Object.h"

#include <string>

class TSRInstallationsAuthTokenResult {
public:
    TSRInstallationsAuthTokenResult(std::string token, plat::Date expirationDate)
        : authToken_(std::move(token)), expirationDate_(expirationDate) {}

    const std::string& authToken() const { return authToken_; }
    plat::Date expirationDate() const { return expirationDate_; }

private:
    std::string authToken_;
    plat::Date expirationDate_;
};
