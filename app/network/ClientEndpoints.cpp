// The endpoint half of Client: each wrapper names one REST resource and hands its URL, form fields
// and the caller's completion to the transport.
#include "app/classes/Preferences.h"
#include "app/network/Client.h"
#include "app/network/ClientKeys.h"
#include "platform/foundation/URL.h"

namespace {

// A device id as one path segment: nothing in it may reach into another path or the query.
const plat::URLAllowedCharacters& segmentAllowed() {
    static const plat::URLAllowedCharacters set = plat::URLAllowedCharacters::urlPathAllowed().removing("/");
    return set;
}

} // namespace

void Client::signup(const std::string& uid, const std::string& password, PostCompletion completion) {
    Params params{{Keys::uid, uid}, {Keys::uidPassword, password},    {Keys::platform, platform()},
                  {Keys::os, os()}, {Keys::appVersion, appVersion()}, {Keys::deviceName, deviceName()}};
    post(serverPath() + "auth/signup", params, false, std::move(completion));
}

void Client::associateUser(const std::string& email, const std::string& password, const std::string& uid,
                           PostCompletion completion) {
    Params params{{Keys::email, email},
                  {Keys::emailPassword, password},
                  {Keys::uid, uid},
                  {Keys::platform, platform()},
                  {Keys::os, os()},
                  {Keys::appVersion, appVersion()},
                  {Keys::deviceName, deviceName()}};
    post(serverPath() + "auth/email", params, false, std::move(completion));
}

void Client::loginWithUid(const std::string& uid, const std::string& password, PostCompletion completion) {
    Params params{{Keys::uid, uid}, {Keys::uidPassword, password},    {Keys::platform, platform()},
                  {Keys::os, os()}, {Keys::appVersion, appVersion()}, {Keys::deviceName, deviceName()}};
    post(serverPath() + "auth/login/uid", params, false, std::move(completion));
}

void Client::loginWithEmail(const std::string& email, const std::string& password,
                            PostCompletion completion) {
    Params params{{Keys::email, email},
                  {Keys::emailPassword, password},
                  {Keys::platform, platform()},
                  {Keys::os, os()},
                  {Keys::appVersion, appVersion()},
                  {Keys::deviceName, deviceName()},
                  {Keys::uid, Preferences::uid().value_or("")}};
    post(serverPath() + "auth/login/email", params, false, std::move(completion));
}

void Client::userInformation(Completion completion) {
    get(serverPath() + "users/me", true, std::move(completion));
}

void Client::userIp(Completion completion) {
    get(serverPath() + "users/me/ip", true, std::move(completion));
}

void Client::userPlans(Completion completion) {
    get(serverPath() + "vpn/plans", true, std::move(completion));
}

void Client::userCurrentPlan(Completion completion) {
    get(serverPath() + "users/me/plan", true, std::move(completion));
}

void Client::userDelete(Completion completion) {
    get(serverPath() + "users/me/delete", true, std::move(completion));
}

void Client::userRegions(Completion completion) {
    get(serverPath() + "users/me/regions", true, std::move(completion));
}

void Client::userBestRegions(Completion completion) {
    get(serverPath() + "users/me/regions/best", false, std::move(completion));
}

void Client::IPSecConfiguration(const std::string& prot, Completion completion) {
    get(serverPath() + "config/ipsec/" + prot, true, std::move(completion));
}

void Client::openVPNConfiguration(const std::string& prot, Completion completion) {
    get(serverPath() + "config/openvpn/" + prot, true, std::move(completion));
}

void Client::resetPassword(const std::string& email, PostCompletion completion) {
    post(serverPath() + "auth/reset-password", {{Keys::email, email}}, false, std::move(completion));
}

void Client::resetPasswordWithCode(const std::string& email, const std::string& code,
                                   PostCompletion completion) {
    post(serverPath() + "auth/verify-code", {{Keys::email, email}, {Keys::code, code}}, false,
         std::move(completion));
}

void Client::resetPasswordWithPassword(const std::string& /*email*/, const std::string& password,
                                       PostCompletion completion) {
    post(serverPath() + "auth/update-password",
         {{Keys::password, password}, {Keys::passwordConfirmation, password}}, true, std::move(completion));
}

void Client::getDevices(Completion completion) {
    get(serverPath() + "devices", true, std::move(completion));
}

void Client::deleteDevice(const std::string& id, ErrorCompletion completion) {
    // An empty id would address the whole device list, and a dot segment would be resolved away
    // into a parent resource.
    if (id.empty() || id == "." || id == "..") {
        completion(plat::Error("Invalid device id", 0));
        return;
    }
    auto segment = plat::addingPercentEncoding(id, segmentAllowed());
    if (!segment) {
        completion(plat::Error("Invalid URL", 0));
        return;
    }
    delete_(serverPath() + "devices/" + *segment, true,
            [completion = std::move(completion)](std::optional<plat::Error> error, std::optional<JSON>) {
                completion(std::move(error));
            });
}
