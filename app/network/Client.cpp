// The transport half of Client: headers, the multipart body, sending and reply handling.
#include "app/network/Client.h"

#include "app/classes/Preferences.h"
#include "platform/log/OSLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Host.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLSession.h"

#include <cstdlib>
#include <mutex>

namespace {

constexpr const char* kProductionServerPath = "https://api.velmora.example/api/";
constexpr double kRequestTimeout = 10.0;

std::mutex serverPathMutex;
std::optional<std::string> cachedServerPath;
std::optional<double> testTimeout; // guarded by serverPathMutex

double requestTimeout() {
    std::lock_guard lock(serverPathMutex);
    return testTimeout.value_or(kRequestTimeout);
}

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
