#include "utilities/TULNetwork.h"

#include "utilities/TULGzip.h"
#include "utilities/TULLogger.h"
#include "utilities/TULNetworkConstants.h"

#include "platform/log/OSLog.h"

#include <map>

namespace {

std::string messageCode(int64_t code) {
    return TULStringWithFormat("I-NET%06ld", TULMakeFormatArguments(code));
}

plat::Error requestError(int64_t code) {
    return plat::Error(
        kTULNetworkErrorDomain, code,
        plat::Object::Dict{{kTULNetworkErrorContext, plat::Object("Failed to create network request")}});
}

std::string levelName(int64_t level) {
    static const auto* const names = new std::map<int64_t, std::string>{
        {TULLoggerLevelError, "ERROR"},
        {TULLoggerLevelWarning, "WARNING"},
        {TULLoggerLevelInfo, "INFO"},
        {TULLoggerLevelDebug, "DEBUG"},
    };
    auto found = names->find(level);
    return found == names->end() ? "(null)" : found->second;
}

std::string contextText(const plat::Object& context) {
    switch (context.kind()) {
    case plat::Object::Kind::Absent:
    case plat::Object::Kind::Null:
        return "(nil)";
    default:
        return TULStringWithFormat("%@", TULMakeFormatArguments(context));
    }
}

} // namespace

std::shared_ptr<TULNetwork> TULNetwork::init(const plat::Clock& clock) {
    return initWithReachabilityHost(kTULNetworkReachabilityHost, clock);
}

std::shared_ptr<TULNetwork> TULNetwork::initWithReachabilityHost(const std::string& host,
                                                                 const plat::Clock& clock) {
    auto network = std::make_shared<TULNetwork>(clock);
    network->reachability_ = TULReachabilityChecker::initWithReachabilityDelegate(network, host);
    if (!network->reachability_ || !network->reachability_->start()) return nullptr;
    network->timeoutInterval_.store(kTULNetworkDefaultTimeout);
    return network;
}

TULNetwork::TULNetwork(const plat::Clock& clock) : clock_(&clock) {}

TULNetwork::~TULNetwork() {
    if (reachability_) {
        reachability_->setReachabilityDelegate(nullptr);
        reachability_->stop();
    }
}

std::optional<std::string> TULNetwork::postURL(const std::string& url, const plat::Data& payload,
                                               std::optional<plat::DispatchQueue> queue,
                                               bool usingBackgroundSession,
                                               TULNetworkCompletionHandler handler) {
    return postURL(url, {}, payload, std::move(queue), usingBackgroundSession, std::move(handler));
}

std::optional<std::string> TULNetwork::postURL(const std::string& url, const plat::HTTPHeaderFields& headers,
                                               const plat::Data& payload,
                                               std::optional<plat::DispatchQueue> queue,
                                               bool usingBackgroundSession,
                                               TULNetworkCompletionHandler handler) {
    std::optional<plat::URLRequest> made = makeRequest(url, headers, queue, handler);
    if (!made) return std::nullopt;
    plat::URLRequest request = std::move(*made);

    plat::Error compressionError;
    compressionError.code = 0;
    std::optional<plat::Data> compressed = TULGzip::tul_dataByGzippingData(payload, &compressionError);
    if (!compressed) {
        // An empty payload compresses to nothing without an error and goes out as an empty body.
        if (compressionError.code != 0 || !payload.empty()) {
            handleErrorWithCode(TULErrorCodeNetworkPayloadCompression, queue, handler);
            return std::nullopt;
        }
        compressed.emplace();
    }
    // After the caller's fields, so that these win.
    request.setValue(std::to_string(compressed->size()), "Content-Length");
    request.httpBody = std::move(*compressed);
    request.httpMethod = "POST";
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.setValue("gzip", "Content-Encoding");
    return startRequest(url, std::move(request), true, std::move(queue), usingBackgroundSession,
                        std::move(handler));
}

std::optional<std::string> TULNetwork::getURL(const std::string& url, const plat::HTTPHeaderFields& headers,
                                              std::optional<plat::DispatchQueue> queue,
                                              bool usingBackgroundSession,
                                              TULNetworkCompletionHandler handler) {
    std::optional<plat::URLRequest> request = makeRequest(url, headers, queue, handler);
    if (!request) return std::nullopt;
    request->httpMethod = "GET";
    return startRequest(url, std::move(*request), false, std::move(queue), usingBackgroundSession,
                        std::move(handler));
}

std::optional<plat::URLRequest> TULNetwork::makeRequest(const std::string& url,
                                                        const plat::HTTPHeaderFields& headers,
                                                        const std::optional<plat::DispatchQueue>& queue,
                                                        const TULNetworkCompletionHandler& handler) {
    if (url.empty()) {
        handleErrorWithCode(TULErrorCodeNetworkInvalidURL, queue, handler);
        return std::nullopt;
    }
    double timeout = timeoutInterval_.load();
    plat::URLRequest request(url, timeout == 0 ? kTULNetworkDefaultTimeout : timeout,
                             plat::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData);
    request.setAllHTTPHeaderFields(headers);
    return request;
}

std::optional<std::string> TULNetwork::startRequest(const std::string& url, plat::URLRequest request,
                                                    bool post, std::optional<plat::DispatchQueue> queue,
                                                    bool usingBackgroundSession,
                                                    TULNetworkCompletionHandler handler) {
    auto fetcher = TULNetworkURLSession::initWithNetworkLoggerDelegate(shared_from_this(), *clock_);
    fetcher->setBackgroundNetworkEnabled(usingBackgroundSession);
    std::weak_ptr<TULNetwork> weakSelf = weak_from_this();
    plat::DispatchQueue callerQueue = queue ? *queue : plat::mainQueue();
    auto completion = [weakSelf, callerQueue,
                       handler](std::optional<plat::HTTPURLResponse> response, std::optional<plat::Data> data,
                                const std::string& sessionID, std::optional<plat::Error> error) {
        std::shared_ptr<TULNetwork> self = weakSelf.lock();
        if (!self) return;
        callerQueue.async([self, handler, response = std::move(response), data = std::move(data), sessionID,
                           error = std::move(error)] {
            if (!sessionID.empty()) self->requests_.removeObjectForKey(sessionID);
            if (handler) handler(response, data, error);
        });
    };
    std::optional<std::string> sessionID = post ? fetcher->sessionIDFromAsyncPOSTRequest(request, completion)
                                                : fetcher->sessionIDFromAsyncGETRequest(request, completion);
    if (!sessionID) {
        handleErrorWithCode(TULErrorCodeNetworkInvalidResponse, queue, handler);
        return std::nullopt;
    }
    TULNetwork_logWithLevel(TULLoggerLevelDebug,
                            post ? kTULNetworkMessageCodeNetwork000 : kTULNetworkMessageCodeNetwork001,
                            post ? "Uploading data. Host" : "Downloading data. Host", plat::Object(url));
    requests_.setObject(fetcher, *sessionID);
    return sessionID;
}

void TULNetwork::handleErrorWithCode(int64_t code, std::optional<plat::DispatchQueue> queue,
                                     const TULNetworkCompletionHandler& handler) {
    plat::Error error = requestError(code);
    TULNetwork_logWithLevel(TULLoggerLevelWarning, kTULNetworkMessageCodeNetwork002,
                            "Failed to create network request. Code, error",
                            std::vector<plat::Object>{plat::Object(code), plat::Object(error.description())});
    if (!handler) return;
    plat::DispatchQueue target = queue ? *queue : plat::mainQueue();
    target.async([handler, error] { handler(std::nullopt, std::nullopt, error); });
}

void TULNetwork::handleEventsForBackgroundURLSessionID(const std::string& identifier,
                                                       TULNetworkSystemCompletionHandler completionHandler) {
    TULNetworkURLSession::handleEventsForBackgroundURLSessionID(identifier, std::move(completionHandler));
}

std::shared_ptr<TULNetworkReachabilityDelegate> TULNetwork::reachabilityDelegate() const {
    std::lock_guard guard(delegateLock_);
    return reachabilityDelegate_.lock();
}

void TULNetwork::setReachabilityDelegate(const std::shared_ptr<TULNetworkReachabilityDelegate>& delegate) {
    std::lock_guard guard(delegateLock_);
    reachabilityDelegate_ = delegate;
}

std::shared_ptr<TULNetworkLoggerDelegate> TULNetwork::loggerDelegate() const {
    std::lock_guard guard(delegateLock_);
    return loggerDelegate_.lock();
}

void TULNetwork::setLoggerDelegate(const std::shared_ptr<TULNetworkLoggerDelegate>& delegate) {
    if (!delegate) {
        TULOSLogError(
            kTULNetworkLogSubsystem, kTULNetworkLogCategory, false,
            messageCode(kTULNetworkMessageCodeNetwork002),
            "Cannot set the network logger delegate: delegate does not conform to the network logger "
            "protocol.");
        return;
    }
    std::lock_guard guard(delegateLock_);
    loggerDelegate_ = delegate;
}

void TULNetwork::reachability(TULReachabilityChecker&, TULReachabilityStatus status) {
    networkConnected_.store(status == kTULReachabilityViaWifi || status == kTULReachabilityViaCellular);
    if (auto delegate = reachabilityDelegate()) delegate->reachabilityDidChange();
}

void TULNetwork::TULNetwork_logWithLevel(int64_t level, int64_t code,
                                         const std::optional<std::string>& message,
                                         const std::vector<plat::Object>& contexts) {
    if (auto delegate = loggerDelegate()) {
        delegate->TULNetwork_logWithLevel(level, code, message, contexts);
        return;
    }
    bool shown = isDebugModeEnabled_.load() || level == TULLoggerLevelError ||
                 level == TULLoggerLevelWarning || level == TULLoggerLevelInfo;
    if (!shown) return;
    std::string text = !message ? "(Message was nil)" : message->empty() ? "(Message was empty)" : *message;
    std::string line = "<" + std::string(kTULNetworkLogTag) + "/" + levelName(level) + "> " + text;
    if (!contexts.empty()) {
        line += ": ";
        for (size_t i = 0; i < contexts.size(); ++i)
            line += (i ? ", " : "") + contextText(contexts[i]);
    }
    plat::consoleLine(line);
    TULOSLogBasic(static_cast<int>(level), kTULNetworkLogSubsystem, kTULNetworkLogCategory, false,
                  messageCode(code), line, nullptr);
}

void TULNetwork::TULNetwork_logWithLevel(int64_t level, int64_t code,
                                         const std::optional<std::string>& message,
                                         const plat::Object& context) {
    if (auto delegate = loggerDelegate()) {
        delegate->TULNetwork_logWithLevel(level, code, message, context);
        return;
    }
    std::vector<plat::Object> contexts;
    if (!context.isAbsent() && !context.isNull()) contexts.push_back(context);
    TULNetwork_logWithLevel(level, code, message, contexts);
}

void TULNetwork::TULNetwork_logWithLevel(int64_t level, int64_t code,
                                         const std::optional<std::string>& message) {
    if (auto delegate = loggerDelegate()) {
        delegate->TULNetwork_logWithLevel(level, code, message);
        return;
    }
    TULNetwork_logWithLevel(level, code, message, std::vector<plat::Object>{});
}
