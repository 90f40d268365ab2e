// Sign-in, sign-up and password reset. Form posts are multipart bodies; a missing or malformed
// body counts as missing fields.
#include "standin/ApiReplies.h"
#include "standin/BearerAuth.h"
#include "standin/StandinRoutes.h"

#include <nlohmann/json.hpp>

namespace standin {
namespace {

constexpr size_t kMinimumPasswordLength = 6;

DeviceInfo deviceOf(const StandinRequest& request) {
    return DeviceInfo{request.field("uid").value_or(""), request.field("device_name").value_or(""),
                      request.field("os").value_or(""), request.field("platform").value_or("")};
}

// The first required field that is missing or empty, with its human name.
std::optional<StandinReply> missingField(const StandinRequest& request,
                                         std::initializer_list<std::pair<const char*, const char*>> fields) {
    for (const auto& [key, words] : fields) {
        auto value = request.field(key);
        if (!value || value->empty())
            return validationReply(422, key, std::string("The ") + words + " field is required.");
    }
    return std::nullopt;
}

StandinReply tokenReply(int status, const std::string& token, const std::string& email) {
    nlohmann::json body = {{"access_token", token}, {"token_type", "Bearer"}, {"expires_in", 2592000}};
    if (!email.empty()) body["user"] = {{"email", email}};
    return StandinReply::json(status, body.dump());
}

StandinReply credentialsRejected(const char* field) {
    return validationReply(401, field, "These credentials do not match our records.");
}

void addEmailRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("POST", "/api/auth/login/email", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"email", "email"}, {"email_password", "email password"}}))
            return *missing;
        std::string email = *request.field("email");
        auto token = accounts.signInWithEmail(email, *request.field("email_password"), deviceOf(request));
        if (!token) return credentialsRejected("email");
        return tokenReply(200, *token, email);
    });

    router.add("POST", "/api/auth/email", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"email", "email"}, {"email_password", "email password"}}))
            return *missing;
        std::string email = *request.field("email");
        std::string password = *request.field("email_password");
        if (email.find('@') == std::string::npos || email.front() == '@' || email.back() == '@')
            return validationReply(422, "email", "The email must be a valid email address.");
        if (password.size() < kMinimumPasswordLength)
            return validationReply(422, "email_password",
                                   "The email password must be at least 6 characters.");
        auto token = accounts.signUpWithEmail(email, password, deviceOf(request));
        if (!token) return validationReply(422, "email", "The email has already been taken.");
        return tokenReply(201, *token, email);
    });
}

void addUidRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("POST", "/api/auth/signup", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"uid", "uid"}, {"uid_password", "uid password"}}))
            return *missing;
        auto token =
            accounts.signUpWithUid(*request.field("uid"), *request.field("uid_password"), deviceOf(request));
        if (!token) return validationReply(422, "uid", "The uid has already been taken.");
        return tokenReply(201, *token, "");
    });

    router.add("POST", "/api/auth/login/uid", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"uid", "uid"}, {"uid_password", "uid password"}}))
            return *missing;
        auto token =
            accounts.signInWithUid(*request.field("uid"), *request.field("uid_password"), deviceOf(request));
        if (!token) return credentialsRejected("uid");
        return tokenReply(200, *token, "");
    });
}

void addResetRoutes(StandinRouter& router, AccountStore& accounts) {
    router.add("POST", "/api/auth/reset-password", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"email", "email"}})) return *missing;
        if (!accounts.requestReset(*request.field("email")))
            return validationReply(422, "email", "We can't find a user with that email address.");
        return messageReply(200, "We have emailed you a verification code.");
    });

    router.add("POST", "/api/auth/verify-code", [&accounts](const StandinRequest& request) {
        if (auto missing = missingField(request, {{"email", "email"}, {"code", "code"}})) return *missing;
        auto token = accounts.verifyReset(*request.field("email"), *request.field("code"));
        if (!token) return validationReply(422, "code", "The verification code is invalid.");
        nlohmann::json body = {{"message", "The verification code is valid."}, {"access_token", *token}};
        return StandinReply::json(200, body.dump());
    });

    router.add("POST", "/api/auth/update-password", [&accounts](const StandinRequest& request) {
        Authorisation auth = authorise(request, accounts);
        if (!auth.account) return auth.refusal;
        if (auto missing = missingField(
                request, {{"password", "password"}, {"password_confirmation", "password confirmation"}}))
            return *missing;
        std::string password = *request.field("password");
        if (password != *request.field("password_confirmation"))
            return validationReply(422, "password", "The password confirmation does not match.");
        if (password.size() < kMinimumPasswordLength)
            return validationReply(422, "password", "The password must be at least 6 characters.");
        accounts.setPassword(auth.account->id, password);
        return messageReply(200, "Your password has been updated.");
    });
}

} // namespace

void addAuthRoutes(StandinRouter& router, AccountStore& accounts) {
    addEmailRoutes(router, accounts);
    addUidRoutes(router, accounts);
    addResetRoutes(router, accounts);
}

} // namespace standin
