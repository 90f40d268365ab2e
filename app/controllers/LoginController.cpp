#include "app/controllers/LoginController.h"

#include "app/classes/Preferences.h"
#include "app/network/Client.h"
#include "app/network/ClientKeys.h"
#include "platform/log/OSLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Text.h"

namespace {

// Dot-separated atoms or a quoted string, "@", then dotted labels or an address literal.
constexpr const char* kEmailPattern =
    R"RE((?:[\p{L}0-9!#$%\&'*+/=?\^_`{|}~-]+(?:\.[\p{L}0-9!#$%\&'*+/=?\^_`{|}~-]+)*|"(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21\x23-\x5b\x5d-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])*")@(?:(?:[\p{L}0-9](?:[a-z0-9-]*[\p{L}0-9])?\.)+[\p{L}0-9](?:[\p{L}0-9-]*[\p{L}0-9])?|\[(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?|[\p{L}0-9-]*[\p{L}0-9]:(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21-\x5a\x53-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])+)\]))RE";

constexpr size_t kMinimumPasswordLength = 6;

} // namespace

LoginController::LoginController() {
    plat::consoleLine("LoginController init");
}

bool LoginController::isValidEmailAddr(const std::string& strToValidate) const {
    return plat::text::matchesRegex(strToValidate, kEmailPattern);
}

void LoginController::fail(const std::string& message, Status result) {
    loginErrorMsg = message;
    loginError = true;
    loginResult = result;
}

bool LoginController::accept(const std::optional<plat::Error>& error, const std::optional<JSON>& json,
                             const std::string& email, const std::string& password, Status failure) {
    if (!json) {
        fail(error ? error->localizedDescription() : "Unknown Error", failure);
        return false;
    }
    auto messageOrFallback = [&] {
        return (*json)[Client::Keys::message].string().value_or("Unknown Error");
    };
    if ((*json)[Client::Keys::errors].exists()) {
        fail(messageOrFallback(), failure);
        return false;
    }
    // A reply that names no error but carries no token is not a sign-in: storing an empty token
    // would pass the logged-in check while every request goes out unauthorised.
    std::string token = (*json)[Client::Keys::accesToken].stringValue();
    if (token.empty()) {
        fail(messageOrFallback(), failure);
        return false;
    }
    Preferences::setKeychainValue(token, Preferences::Keys::token);
    Preferences::setKeychainValue(email, Preferences::Keys::email);
    Preferences::setKeychainValue(password, Preferences::Keys::password);
    return true;
}

void LoginController::loginPressed(const std::string& email, const std::string& password) {
    if (!isValidEmailAddr(email)) return fail("Please enter valid email", Status::logInFalse);
    if (plat::text::graphemeCount(password) < kMinimumPasswordLength)
        return fail("Password should be 6 chars at least", Status::logInFalse);

    Client::shared().loginWithEmail(
        email, password,
        [self = shared_from_this(), email, password](std::optional<plat::Error> error,
                                                     std::optional<JSON> json, std::optional<int>) {
            plat::mainQueue().async([self, email, password, error, json] {
                if (self->accept(error, json, email, password, Status::logInFalse))
                    self->loginResult = Status::logInTrue;
            });
        });
}

void LoginController::signupPressed(const std::string& email, const std::string& password,
                                    const std::string& repeatPassword) {
    if (!isValidEmailAddr(email)) return fail("Please enter valid email", Status::signUpFalse);
    if (plat::text::graphemeCount(password) < kMinimumPasswordLength)
        return fail("Password should be 6 chars at least", Status::signUpFalse);
    if (!plat::text::canonicallyEquals(password, repeatPassword))
        return fail("Passwords are not the same", Status::signUpFalse);

    Client::shared().associateUser(
        email, password, Preferences::uid().value_or(""),
        [self = shared_from_this(), email, password](std::optional<plat::Error> error,
                                                     std::optional<JSON> json, std::optional<int>) {
            if (self->accept(error, json, email, password, Status::signUpFalse))
                self->loginResult = Status::signUpTrue;
        });
}
