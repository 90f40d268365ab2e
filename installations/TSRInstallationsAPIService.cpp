#include "installations/TSRInstallationsAPIService.h"

#include "core/TSRBundleUtil.h"
#include "core/TSRHeartbeatLoggerProtocol.h"
#include "core/TSRTesseraBase.h"
#include "core/TSRVersion.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsLogRedaction.h"
#include "installations/TSRInstallationsLogger.h"
#include "installations/TSRInstallationsResponseParser.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLSession.h"
#include "promises/PromiseCombinators.h"

using promises::Promise;
using Response = TSRInstallationsURLSessionResponse;

struct TSRInstallationsAPIServiceState {
    std::shared_ptr<plat::URLSession> session;
    std::string APIKey;
    std::string projectID;
    std::shared_ptr<TSRHeartbeatLoggerProtocol> heartbeatLogger;
    plat::Scheduler* retryScheduler;
};

namespace {

using State = const TSRInstallationsAPIServiceState;

plat::DispatchQueue callbackQueue() {
    return promises::promisesQueue();
}

Promise<plat::URLRequest> requestWithURL(const std::shared_ptr<State>& state, const std::string& url,
                                         const std::string& method, const plat::Object& body,
                                         const std::string& refreshToken,
                                         const plat::HTTPHeaderFields& extraHeaders) {
    return Promise<plat::URLRequest>(
        plat::DispatchQueue::global(plat::QoS::Utility),
        [state, url, method, body, refreshToken, extraHeaders] {
            plat::URLRequest request(url);
            request.httpMethod = method;
            request.setValue(state->APIKey, kTSRInstallationsAPIKey);
            request.setValue(TSRBundleUtil::mainBundle()->bundleIdentifier().value_or(""),
                             kTSRInstallationsBundleId);
            request.setValue("application/json", "Content-Type");
            plat::Error error;
            std::optional<std::string> json = plat::JSONSerialization::data(body, 0, &error);
            if (!json) throw TSRInstallationsErrorUtil::JSONSerializationError();
            request.httpBody = plat::toData(*json);
            if (!refreshToken.empty()) request.setValue("INS_v2 " + refreshToken, "Authorization");
            // Flushing hands the stored heartbeats to this request; with none the header is left out.
            if (state->heartbeatLogger) {
                if (std::optional<std::string> heartbeats = state->heartbeatLogger->headerValue())
                    request.setValue(*heartbeats, kTSRInstallationsHeartbeatKey);
            }
            for (const auto& [name, value] : extraHeaders)
                request.setValue(value, name);
            return request;
        });
}

Promise<Response> URLRequestPromise(const std::shared_ptr<State>& state, const plat::URLRequest& request) {
    const std::string description = request.httpMethod + " " + request.url;
    TSRLogDebug(kTSRLoggerInstallations, "I-INS001001", "Sending request: %@, body:%@, headers: %@.",
                description, TSRInstallationsRedactedBody(request.httpBody.value_or(plat::Data())),
                TSRInstallationsRedactedHeaders(request.allHTTPHeaderFields()));
    Promise<Response> result;
    auto task =
        state->session->dataTask(request, [result, description](std::optional<plat::Data> data,
                                                                std::optional<plat::HTTPURLResponse> response,
                                                                std::optional<plat::Error> error) {
            if (error || !response) {
                const plat::Error failure = error.value_or(plat::Error("NSURLErrorDomain", -1));
                TSRLogDebug(kTSRLoggerInstallations, "I-INS001002", "Request failed: %@, error: %@.",
                            description, failure.localizedDescription());
                result.reject(failure);
                return;
            }
            Response reply{*response, data.value_or(plat::Data())};
            const std::string body = TSRInstallationsRedactedBody(reply.data);
            TSRLogDebug(kTSRLoggerInstallations, "I-INS001003",
                        "Request response received: %@, error: %@, body: %@.", description,
                        std::string("(null)"), body);
            if (reply.HTTPResponse.statusCode < 200 || reply.HTTPResponse.statusCode > 299) {
                TSRLogDebug(kTSRLoggerInstallations, "I-INS001004", "Unexpected API response: %@, body: %@.",
                            reply.HTTPResponse.description(), body);
                result.reject(
                    TSRInstallationsErrorUtil::APIErrorWithHTTPResponse(reply.HTTPResponse, reply.data));
                return;
            }
            result.fulfill(reply);
        });
    task->resume();
    return result;
}

// A 500 is tried once more after one second; every other failure is final.
Promise<Response> sendURLRequest(const std::shared_ptr<State>& state, const plat::URLRequest& request) {
    return promises::retry(
        callbackQueue(), 1, 1.0,
        [](int64_t, const plat::Error& error) { return TSRInstallationsErrorUtil::isAPIError(error, 500); },
        [state, request] { return URLRequestPromise(state, request); }, *state->retryScheduler);
}

Promise<Response> send(const std::shared_ptr<State>& state, const std::string& url, const std::string& method,
                       const plat::Object& body, const std::string& refreshToken,
                       const plat::HTTPHeaderFields& extraHeaders = {}) {
    return requestWithURL(state, url, method, body, refreshToken, extraHeaders)
        .then(callbackQueue(),
              [state](const plat::URLRequest& request) { return sendURLRequest(state, request); });
}

// The URL of the project's installations, or of one installation followed by `suffix`; an error
// when a part cannot be put into a path.
std::optional<std::string> installationsURL(const std::shared_ptr<State>& state, const std::string* tid,
                                            const std::string& suffix) {
    std::optional<std::string> project = TSRInstallationsAPIService::pathSegment(state->projectID);
    if (!project) return std::nullopt;
    std::string url = TSRInstallationsAPIService::baseURL() + "/v1/tenants/" + *project + "/installations/";
    if (!tid) return url;
    std::optional<std::string> segment = TSRInstallationsAPIService::pathSegment(*tid);
    if (!segment) return std::nullopt;
    return url + *segment + suffix;
}

plat::Error unusableURLError() {
    return TSRInstallationsErrorUtil::installationsErrorWithCode(
        TSRInstallationsErrorCodeUnknown, std::string("The installation's address could not be made."),
        std::nullopt);
}

void logParsing(const Response& response) {
    TSRLogDebug(kTSRLoggerInstallations, "I-INS001005", "Parsing server response for %@.",
                response.HTTPResponse.url);
}

} // namespace

TSRInstallationsAPIService::TSRInstallationsAPIService(
    std::string APIKey, std::string projectID, std::shared_ptr<TSRHeartbeatLoggerProtocol> heartbeatLogger)
    : TSRInstallationsAPIService(std::make_shared<plat::URLSession>(
                                     plat::DispatchQueue::serial("com.tessera.TSRInstallationsAPIService")),
                                 std::move(APIKey), std::move(projectID), std::move(heartbeatLogger)) {}

TSRInstallationsAPIService::TSRInstallationsAPIService(
    std::shared_ptr<plat::URLSession> session, std::string APIKey, std::string projectID,
    std::shared_ptr<TSRHeartbeatLoggerProtocol> heartbeatLogger, plat::Scheduler& retryScheduler)
    : state_(std::make_shared<const TSRInstallationsAPIServiceState>(
          TSRInstallationsAPIServiceState{std::move(session), std::move(APIKey), std::move(projectID),
                                          std::move(heartbeatLogger), &retryScheduler})) {}

const std::string& TSRInstallationsAPIService::APIKey() const {
    return state_->APIKey;
}

const std::string& TSRInstallationsAPIService::projectID() const {
    return state_->projectID;
}

std::string TSRInstallationsAPIService::SDKVersion() {
    return "i:" + TSRVersion();
}

std::string TSRInstallationsAPIService::baseURL() {
    return TSRTesseraURL(kTSRInstallationsAPIBaseURL);
}

std::optional<std::string> TSRInstallationsAPIService::pathSegment(const std::string& text) {
    // The server chooses identifiers: a "/", "?" or "%" in one must not change which resource the
    // request names.
    static const auto* const allowed =
        new plat::URLAllowedCharacters(plat::URLAllowedCharacters::urlPathAllowed().removing("/"));
    return plat::addingPercentEncoding(text, *allowed);
}

Promise<TSRInstallationsItem>
TSRInstallationsAPIService::registerInstallation(const TSRInstallationsItem& installation) const {
    std::optional<plat::Error> invalid;
    if (!installation.isValid(&invalid))
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<TSRInstallationsItem>(*invalid);
    std::optional<std::string> url = installationsURL(state_, nullptr, "");
    if (!url)
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<TSRInstallationsItem>(unusableURLError());
    plat::Object::Dict body{{"tid", plat::Object(installation.tesseraInstallationID())},
                            {"authVersion", plat::Object("INS_v2")},
                            {"appId", plat::Object(installation.appID())},
                            {"sdkVersion", plat::Object(SDKVersion())}};
    plat::HTTPHeaderFields extra;
    if (!installation.IIDDefaultToken().empty())
        extra.emplace_back(kTSRInstallationsIIDMigrationAuthHeader, installation.IIDDefaultToken());
    return send(state_, *url, "POST", plat::Object(std::move(body)), "", extra)
        .then(callbackQueue(), [installation](const Response& response) -> TSRInstallationsItem {
            logParsing(response);
            std::optional<plat::Error> error;
            std::optional<TSRInstallationsItem> registered =
                TSRInstallationsResponseParser::registeredInstallationWithJSONData(
                    installation, plat::toString(response.data), plat::Date::now(), &error);
            if (!registered) {
                TSRLogDebug(kTSRLoggerInstallations, "I-INS001006",
                            "Failed to parse TSRInstallationsItem: %@.",
                            TSRInstallationsErrorUtil::failureReason(*error));
                throw *error;
            }
            TSRLogDebug(kTSRLoggerInstallations, "I-INS001007", "TSRInstallationsItem parsed successfully.");
            return *registered;
        });
}

Promise<TSRInstallationsItem>
TSRInstallationsAPIService::refreshAuthTokenForInstallation(const TSRInstallationsItem& installation) const {
    const std::string& tid = installation.tesseraInstallationID();
    std::optional<std::string> url = installationsURL(state_, &tid, "/tokens");
    if (!url)
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<TSRInstallationsItem>(unusableURLError());
    plat::Object body = plat::Object::Dict{
        {"installation", plat::Object(plat::Object::Dict{{"sdkVersion", plat::Object(SDKVersion())}})}};
    return send(state_, *url, "POST", body, installation.refreshToken())
        .then(callbackQueue(), [installation](const Response& response) -> TSRInstallationsItem {
            logParsing(response);
            std::optional<plat::Error> error;
            auto token = TSRInstallationsResponseParser::authTokenWithGenerateTokenAPIJSONData(
                plat::toString(response.data), plat::Date::now(), &error);
            if (!token) {
                TSRLogDebug(kTSRLoggerInstallations, "I-INS001008",
                            "Failed to parse TSRInstallationsStoredAuthToken: %@.",
                            TSRInstallationsErrorUtil::failureReason(*error));
                throw *error;
            }
            TSRLogDebug(kTSRLoggerInstallations, "I-INS001009",
                        "TSRInstallationsStoredAuthToken parsed successfully.");
            TSRInstallationsItem refreshed = installation;
            refreshed.setAuthToken(std::move(token));
            return refreshed;
        });
}

Promise<TSRInstallationsItem>
TSRInstallationsAPIService::deleteInstallation(const TSRInstallationsItem& installation) const {
    const std::string& tid = installation.tesseraInstallationID();
    std::optional<std::string> url = installationsURL(state_, &tid, "/");
    if (!url)
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<TSRInstallationsItem>(unusableURLError());
    return send(state_, *url, "DELETE", plat::Object(plat::Object::Dict{}), installation.refreshToken())
        .then(callbackQueue(), [installation](const Response&) { return installation; });
}
