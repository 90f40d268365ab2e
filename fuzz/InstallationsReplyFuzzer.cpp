// Replies of the installations service are untrusted bytes. Whatever arrives, the parsers give a
// record that is valid and safe to store and send back, or an error; the debug-line redaction
// never fails. The first byte picks the reply kind (register or token), the rest is the body.
#include "installations/TSRInstallationsLogRedaction.h"
#include "installations/TSRInstallationsResponseParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// A text that comes back in a header or a path must hold no control characters.
void checkSendable(const std::string& text) {
    if (text.empty() || text.size() > kTSRInstallationsMaxFieldLength) __builtin_trap();
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) __builtin_trap();
}

void checkToken(const TSRInstallationsStoredAuthToken& token, plat::Date parsedAt) {
    checkSendable(token.token());
    if (!token.expirationDate()) __builtin_trap();
    const double seconds = token.expirationDate()->secondsSince1970 - parsedAt.secondsSince1970;
    if (!std::isfinite(seconds) || seconds < 0) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const plat::Date parsedAt{1'700'000'000};
    std::optional<plat::Error> error;
    if (data[0] & 1) {
        auto token =
            TSRInstallationsResponseParser::authTokenWithGenerateTokenAPIJSONData(body, parsedAt, &error);
        if (token) checkToken(*token, parsedAt);
        if (!token && !error) __builtin_trap();
    } else {
        TSRInstallationsItem request("1:2:ios:3", "app");
        request.setTesseraInstallationID("cRequestTIDcRequestTID");
        request.setRegistrationStatus(TSRInstallationsRegistrationStatusUnregistered);
        auto item = TSRInstallationsResponseParser::registeredInstallationWithJSONData(request, body,
                                                                                       parsedAt, &error);
        if (item) {
            if (!item->isValid()) __builtin_trap();
            checkSendable(item->tesseraInstallationID());
            checkSendable(item->refreshToken());
            checkToken(*item->authToken(), parsedAt);
        } else if (!error) {
            __builtin_trap();
        }
    }
    (void)TSRInstallationsRedactedBody(plat::Data(body.begin(), body.end()));
    return 0;
}
