// The key texts of the REST API: form-field names and the reply values the application reads.
#pragma once

#include "app/network/Client.h"

struct Client::Keys {
    Keys() = delete;
    static constexpr const char* id = "id";
    static constexpr const char* uid = "uid";
    static constexpr const char* uidPassword = "uid_password";
    static constexpr const char* name = "name";
    static constexpr const char* email = "email";
    static constexpr const char* emailPassword = "email_password";
    static constexpr const char* code = "code";
    static constexpr const char* errors = "errors";
    static constexpr const char* message = "message";
    static constexpr const char* regionName = "region_name";
    static constexpr const char* countryName = "country_name";
    static constexpr const char* isAlive = "is_alive";
    static constexpr const char* countryCode = "country_code";
    static constexpr const char* serverDomain = "server_domain";
    static constexpr const char* accesToken = "access_token"; // the member name has one "s"
    static constexpr const char* passwordConfirmation = "password_confirmation";
    static constexpr const char* password = "password";
    static constexpr const char* radiusLogin = "radius_login";
    static constexpr const char* radiusPassword = "radius_password";
    static constexpr const char* ca = "ca";
    static constexpr const char* cert = "cert";
    static constexpr const char* key = "key";
    static constexpr const char* appVersion = "app_version";
    static constexpr const char* platform = "platform";
    static constexpr const char* os = "os";
    static constexpr const char* deviceName = "device_name";
};
