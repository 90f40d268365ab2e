// Client: headers, the multipart body, sending and reply handling, then the endpoint wrappers, each
// naming one REST resource and handing its URL, form fields and the caller's completion to the
// transport.
#include "app/network/Client.h"

#include "app/classes/Preferences.h"
#include "app/network/ClientKeys.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Host.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/URL.h"
#include "platform/log/OSLog.h"
#include "platform/net/URLSession.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr const char* kProductionServerPath = "https://api.velmora.example/api/";
constexpr double kRequestTimeout = 10.0;
constexpr double kLongestRequestTimeout = 86400.0;

// Requests run on worker queues, so the cached address is never destroyed under one at exit.
std::mutex serverPathMutex;
std::optional<std::string>& cachedServerPath = *new std::optional<std::string>;
std::optional<double> testTimeout;     // guarded by serverPathMutex
std::optional<double> variableTimeout; // guarded by serverPathMutex; read once

// $VELMORA_REQUEST_TIMEOUT_SECONDS: a number of seconds above 0 and up to a day, written alone
// (nothing before or after it), for a service or a stand-in that answers on its own schedule. An
// empty or missing variable means 10 seconds; any other value is refused with one line on
// standard error and 10 seconds are used. The transfer rounds the seconds up to its smallest step,
// so the smallest value still limits the request.
double timeoutFromVariable() {
    const char* text = std::getenv("VELMORA_REQUEST_TIMEOUT_SECONDS");
    if (!text || !*text) return kRequestTimeout;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    const bool spaceFirst = std::isspace(static_cast<unsigned char>(*text));
    if (!spaceFirst && end != text && *end == '\0' && seconds > 0 && seconds <= kLongestRequestTimeout)
        return seconds;
    std::fprintf(stderr,
                 "velmora: VELMORA_REQUEST_TIMEOUT_SECONDS='%s' is not a number of seconds above 0 and up "
                 "to 86400 (a day); using 10 seconds\n",
                 text);
    return kRequestTimeout;
}

} // namespace

// The time a request may go without a byte moving: the test's, else the variable's, read (and
// refused, at most once) on the first request.
double Client::requestTimeout() {
    std::lock_guard lock(serverPathMutex);
    if (testTimeout) return *testTimeout;
    if (!variableTimeout) variableTimeout = timeoutFromVariable();
    return *variableTimeout;
}

namespace {

// The client's own failures carry their message as the domain and the code 0.
plat::Error clientError(const char* message) {
    return plat::Error(message, 0);
}

std::string describe(const plat::Error& error) {
    return error.domain + " error " + std::to_string(error.code) + ": " + error.localizedDescription();
}

std::string operatingSystemText() {
    auto version = plat::ProcessInfo::processInfo().operatingSystemVersion();
    return std::to_string(version.majorVersion) + "." + std::to_string(version.minorVersion) + "." +
           std::to_string(version.patchVersion);
}

std::string applicationVersion() {
    plat::Object value = plat::Bundle::main().objectForInfoDictionaryKey("CFBundleShortVersionString");
    if (const std::string* text = value.asString()) return *text;
    return "Unknown Version";
}

// The body parsed as JSON; none for an empty body or bytes that are not JSON.
std::optional<JSON> parse(const plat::Data& body, std::optional<plat::Error>* parseError = nullptr) {
    try {
        return JSON(body, 0);
    } catch (const JSONException& error) {
        if (parseError) *parseError = error.error();
    } catch (const std::exception& error) {
        if (parseError) *parseError = plat::Error::withMessage("JSONParsing", 0, error.what());
    }
    return std::nullopt;
}

// A device id as one path segment: nothing in it may reach into another path or the query.
const plat::URLAllowedCharacters& segmentAllowed() {
    static const plat::URLAllowedCharacters set = plat::URLAllowedCharacters::urlPathAllowed().removing("/");
    return set;
}

} // namespace

Client& Client::shared() {
    // Never destroyed: replies may still arrive on the session's queue while the process exits.
    static Client* instance = new Client(plat::URLSession::shared());
    return *instance;
}

Client::Client(plat::URLSession& session)
    : session_(session), platform_("macSA"),
      deviceName_(plat::Host::current().localizedName().value_or("Unknown Device")),
      os_(operatingSystemText()), appVersion_(applicationVersion()) {}

std::string Client::serverPath() {
    std::lock_guard lock(serverPathMutex);
    if (!cachedServerPath) {
        const char* base = std::getenv("VELMORA_API_BASE");
        std::string path = base && *base ? std::string(base) : std::string(kProductionServerPath);
        if (path.back() != '/') path += '/';
        cachedServerPath = path;
    }
    return *cachedServerPath;
}

void Client::reloadServerPathForTesting() {
    std::lock_guard lock(serverPathMutex);
    cachedServerPath.reset();
}

void Client::setRequestTimeoutForTesting(std::optional<double> seconds) {
    std::lock_guard lock(serverPathMutex);
    testTimeout = seconds;
    variableTimeout.reset();
}

plat::HTTPHeaderFields Client::defaultHeaders() const {
    return {{"Accept", "application/json"}, {"Cache-control", "no-cache"}};
}

plat::HTTPHeaderFields Client::authHeaders() const {
    plat::HTTPHeaderFields fields = defaultHeaders();
    fields.emplace_back("Authorization", "Bearer " + Preferences::token().value_or(""));
    return fields;
}

plat::Data Client::multipartBody(const Params& params) {
    const std::string delimiter = std::string("--") + boundary;
    std::string body;
    for (const auto& [name, value] : params) {
        body += delimiter + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
        body += value + "\r\n";
    }
    body += delimiter + "--\r\n";
    return plat::toData(body);
}

void Client::get(const std::string& path, bool auth, Completion completion) {
    send("GET", path, auth, "logout", std::move(completion));
}

void Client::delete_(const std::string& path, bool auth, Completion completion) {
    send("DELETE", path, auth, "needsRelogin", std::move(completion));
}

void Client::send(const std::string& method, const std::string& path, bool auth,
                  const char* expiredNotification, Completion completion) {
    if (!plat::URL::string(path)) {
        completion(clientError("Invalid URL"), std::nullopt);
        return;
    }
    plat::URLRequest request(path, requestTimeout());
    request.httpMethod = method;
    request.setAllHTTPHeaderFields(auth ? authHeaders() : defaultHeaders());

    auto handle = [method, path, expiredNotification, completion = std::move(completion)](
                      std::optional<plat::Data> data, std::optional<plat::HTTPURLResponse> response,
                      std::optional<plat::Error> error) {
        plat::mainQueue().async([=] {
            if (error) {
                plat::consoleLine(describe(*error));
                completion(error, std::nullopt);
                return;
            }
            if (response) plat::consoleLine(method + ": " + path + "\n " + response->description());
            std::optional<JSON> json = data && !data->empty() ? parse(*data) : std::nullopt;
            if (!json) {
                completion(clientError("Unknown error"), std::nullopt);
                return;
            }
            if ((*json)["code"].stringValue() == "E0112") {
                plat::NotificationCenter::defaultCenter().post(expiredNotification);
                return;
            }
            completion(std::nullopt, json);
        });
    };
    session_.dataTask(std::move(request), std::move(handle))->resume();
}

void Client::post(const std::string& path, const Params& params, bool auth, PostCompletion completion) {
    if (!plat::URL::string(path)) {
        completion(clientError("Invalid URL"), std::nullopt, std::nullopt);
        return;
    }
    plat::URLRequest request(path, requestTimeout());
    request.httpMethod = "POST";
    request.setValue("application/json", "Accept");
    request.setValue("no-cache", "Cache-Control");
    request.setValue(std::string("multipart/form-data; boundary=") + boundary, "Content-Type");
    if (auth) {
        if (auto token = Preferences::token()) request.setValue("Bearer " + *token, "Authorization");
    }
    request.httpBody = multipartBody(params);

    auto handle = [completion = std::move(completion)](std::optional<plat::Data> data,
                                                       std::optional<plat::HTTPURLResponse> response,
                                                       std::optional<plat::Error> error) {
        plat::mainQueue().async([=] {
            if (error) {
                plat::consoleLine("Error: " + error->localizedDescription());
                completion(error, std::nullopt, std::nullopt);
                return;
            }
            if (!response) {
                completion(clientError("Unknown error"), std::nullopt, std::nullopt);
                return;
            }
            const int status = response->statusCode;
            if (!data || data->empty()) {
                completion(clientError("No data received"), std::nullopt, status);
                return;
            }
            std::optional<plat::Error> parseError;
            std::optional<JSON> json = parse(*data, &parseError);
            if (!json) {
                plat::Error failure = parseError.value_or(clientError("Unknown error"));
                plat::consoleLine("JSON Parsing Error: " + failure.localizedDescription());
                completion(failure, std::nullopt, status);
                return;
            }
            completion(std::nullopt, json, status);
        });
    };
    session_.dataTask(std::move(request), std::move(handle))->resume();
}

// ---- Endpoints ----

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
