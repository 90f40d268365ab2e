#include "installations/TSRInstallationsResponseParser.h"

#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/JSONSerialization.h"

#include <charconv>

namespace {

// Ten years: long past any lifetime the service hands out, and well inside the dates the
// keychain's archive can hold, so an absurd value cannot make the record unstorable.
constexpr double kMaxExpiresInSeconds = 10.0 * 365 * 24 * 3600;

std::optional<plat::Object> jsonDictionary(std::string_view data, std::optional<plat::Error>* error) {
    if (data.size() <= kTSRInstallationsMaxResponseSize) {
        plat::Object object = plat::JSONSerialization::jsonObject(data);
        if (object.isDict()) return object;
    }
    TSRInstallationsErrorUtil::TSRInstallationsItemSetErrorToPointer(
        TSRInstallationsErrorUtil::JSONSerializationError(), error);
    return std::nullopt;
}

void missingField(const char* name, std::optional<plat::Error>* error) {
    TSRInstallationsErrorUtil::TSRInstallationsItemSetErrorToPointer(
        TSRInstallationsErrorUtil::TIDRegistrationErrorWithResponseMissingField(name), error);
}

} // namespace

std::optional<std::string> TSRInstallationsResponseParser::validString(const plat::Object& value) {
    if (!value.isString()) return std::nullopt;
    const std::string& text = value.string();
    if (text.empty() || text.size() > kTSRInstallationsMaxFieldLength) return std::nullopt;
    // These texts go back to the service in a header and a URL: a line break would let the reply
    // write headers of its own.
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return std::nullopt;
    return text;
}

std::optional<double> TSRInstallationsResponseParser::secondsFromExpiresIn(std::string_view text) {
    if (text.size() < 2 || text.back() != 's') return std::nullopt;
    const std::string_view number = text.substr(0, text.size() - 1);
    // Digits with an optional fraction: no sign, exponent, blanks, "inf" or "nan".
    bool point = false;
    for (size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.' && !point && i > 0 && i + 1 < number.size())
            point = true;
        else if (c < '0' || c > '9')
            return std::nullopt;
    }
    double seconds = 0;
    auto [end, status] = std::from_chars(number.data(), number.data() + number.size(), seconds);
    if (status != std::errc() || end != number.data() + number.size()) return std::nullopt;
    if (seconds > kMaxExpiresInSeconds) return std::nullopt;
    return seconds;
}

std::shared_ptr<const TSRInstallationsStoredAuthToken>
TSRInstallationsResponseParser::authTokenWithJSONDict(const plat::Object& dict, plat::Date date,
                                                      std::optional<plat::Error>* error) {
    std::optional<std::string> token = validString(dict["token"]);
    if (!token) {
        missingField("authToken.token", error);
        return nullptr;
    }
    std::optional<std::string> expiresIn = validString(dict["expiresIn"]);
    std::optional<double> seconds = expiresIn ? secondsFromExpiresIn(*expiresIn) : std::nullopt;
    if (!seconds) {
        missingField("authToken.expiresIn", error);
        return nullptr;
    }
    return std::make_shared<const TSRInstallationsStoredAuthToken>(
        TSRInstallationsAuthTokenStatusTokenReceived, *token, plat::Date{date.secondsSince1970 + *seconds});
}

std::shared_ptr<const TSRInstallationsStoredAuthToken>
TSRInstallationsResponseParser::authTokenWithGenerateTokenAPIJSONData(std::string_view data, plat::Date date,
                                                                      std::optional<plat::Error>* error) {
    std::optional<plat::Object> reply = jsonDictionary(data, error);
    if (!reply) return nullptr;
    return authTokenWithJSONDict(*reply, date, error);
}

std::optional<TSRInstallationsItem>
TSRInstallationsResponseParser::registeredInstallationWithJSONData(const TSRInstallationsItem& request,
                                                                   std::string_view data, plat::Date date,
                                                                   std::optional<plat::Error>* error) {
    std::optional<plat::Object> reply = jsonDictionary(data, error);
    if (!reply) return std::nullopt;
    std::optional<std::string> refreshToken = validString((*reply)["refreshToken"]);
    if (!refreshToken) {
        missingField("refreshToken", error);
        return std::nullopt;
    }
    const plat::Object& authTokenDict = (*reply)["authToken"];
    if (!authTokenDict.isDict()) {
        missingField("authToken", error);
        return std::nullopt;
    }
    std::shared_ptr<const TSRInstallationsStoredAuthToken> authToken =
        authTokenWithJSONDict(authTokenDict, date, error);
    if (!authToken) return std::nullopt;

    TSRInstallationsItem item(request.appID(), request.tesseraAppName());
    item.setTesseraInstallationID(validString((*reply)["tid"]).value_or(request.tesseraInstallationID()));
    item.setRefreshToken(*refreshToken);
    item.setAuthToken(std::move(authToken));
    item.setRegistrationStatus(TSRInstallationsRegistrationStatusRegistered);
    return item;
}
