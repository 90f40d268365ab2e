// The network request layer of the shared utilities: one gzip-compressed POST or one GET per call,
// each carried by its own TULNetworkURLSession, with the reachability of one host watched on the
// side and every log line routed through a replaceable logger delegate. Requests may be started
// from any thread; completions run on the caller's queue (the main queue when none is given), and
// never once the TULNetwork itself is gone. Reachability changes arrive on the main thread.
#pragma once

#include "utilities/TULMutableDictionary.h"
#include "utilities/TULNetworkLoggerDelegate.h"
#include "utilities/TULNetworkURLSession.h"
#include "utilities/TULReachabilityChecker.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Hears that the reachability of the layer's host changed (read `isNetworkConnected`).
class TULNetworkReachabilityDelegate {
public:
    virtual ~TULNetworkReachabilityDelegate() = default;
    virtual void reachabilityDidChange() = 0;
};

class TULNetwork : public TULReachabilityDelegate,
                   public TULNetworkLoggerDelegate,
                   public std::enable_shared_from_this<TULNetwork> {
public:
    using TULNetworkCompletionHandler =
        std::function<void(std::optional<plat::HTTPURLResponse> response, std::optional<plat::Data> data,
                           std::optional<plat::Error> error)>;
    using TULNetworkSystemCompletionHandler = TULNetworkURLSession::TULNetworkSystemCompletionHandler;

    // The host whose reachability `init` watches.
    static constexpr const char* kTULNetworkReachabilityHost = "app-measurement.velmora.example";

    // A layer that watches `host` (started at once; none when it cannot start), with a 60-second
    // timeout. `clock` ages the temporary files and must outlive the layer.
    static std::shared_ptr<TULNetwork> init(const plat::Clock& clock = plat::Clock::system());
    static std::shared_ptr<TULNetwork>
    initWithReachabilityHost(const std::string& host, const plat::Clock& clock = plat::Clock::system());
    // Clears the checker's delegate and stops it.
    ~TULNetwork() override;

    // Sends `payload` gzip-compressed as a form POST with the caller's header fields (the layer's
    // own fields win). Returns the session ID, or none when the request cannot be started; then a
    // given completion gets, asynchronously on `queue`, an error of "com.tul.network.ErrorDomain".
    // A transfer that ends with a reply reports no error whatever its status.
    std::optional<std::string> postURL(const std::string& url, const plat::HTTPHeaderFields& headers,
                                       const plat::Data& payload, std::optional<plat::DispatchQueue> queue,
                                       bool usingBackgroundSession, TULNetworkCompletionHandler handler);
    std::optional<std::string> postURL(const std::string& url, const plat::Data& payload,
                                       std::optional<plat::DispatchQueue> queue, bool usingBackgroundSession,
                                       TULNetworkCompletionHandler handler);
    // A GET with the caller's header fields and no body.
    std::optional<std::string> getURL(const std::string& url, const plat::HTTPHeaderFields& headers,
                                      std::optional<plat::DispatchQueue> queue, bool usingBackgroundSession,
                                      TULNetworkCompletionHandler handler);

    static void handleEventsForBackgroundURLSessionID(const std::string& identifier,
                                                      TULNetworkSystemCompletionHandler completionHandler);

    bool isNetworkConnected() const { return networkConnected_.load(); }
    // True while any request is in flight.
    bool hasUploadInProgress() const { return requests_.count() > 0; }
    bool isDebugModeEnabled() const { return isDebugModeEnabled_.load(); }
    void setDebugModeEnabled(bool enabled) { isDebugModeEnabled_.store(enabled); }
    double timeoutInterval() const { return timeoutInterval_.load(); }
    void setTimeoutInterval(double seconds) { timeoutInterval_.store(seconds); }
    std::shared_ptr<TULNetworkReachabilityDelegate> reachabilityDelegate() const;
    // Held weakly.
    void setReachabilityDelegate(const std::shared_ptr<TULNetworkReachabilityDelegate>& delegate);
    std::shared_ptr<TULNetworkLoggerDelegate> loggerDelegate() const;
    // Held weakly; null is refused (an error line, 900002) and the previous delegate stays.
    void setLoggerDelegate(const std::shared_ptr<TULNetworkLoggerDelegate>& delegate);

    // From the reachability checker (main thread).
    void reachability(TULReachabilityChecker& reachability, TULReachabilityStatus status) override;

    // The layer's own logger: to the logger delegate when one is set; otherwise error, warning and
    // info lines (and, in debug mode, all lines) go to the console and the shared logger as
    // "<Tessera/Utilities/Network/LEVEL> message: context, context".
    void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                 const std::optional<std::string>& message,
                                 const std::vector<plat::Object>& contexts) override;
    void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                 const std::optional<std::string>& message,
                                 const plat::Object& context) override;
    void TULNetwork_logWithLevel(int64_t level, int64_t messageCode,
                                 const std::optional<std::string>& message) override;

    explicit TULNetwork(const plat::Clock& clock);

private:
    // The request for `url` with the layer's timeout (60 s when it is 0) and the caller's fields;
    // none, after the error of code 1 was reported, for an empty URL.
    std::optional<plat::URLRequest> makeRequest(const std::string& url, const plat::HTTPHeaderFields& headers,
                                                const std::optional<plat::DispatchQueue>& queue,
                                                const TULNetworkCompletionHandler& handler);
    std::optional<std::string> startRequest(const std::string& url, plat::URLRequest request, bool post,
                                            std::optional<plat::DispatchQueue> queue,
                                            bool usingBackgroundSession, TULNetworkCompletionHandler handler);
    void handleErrorWithCode(int64_t code, std::optional<plat::DispatchQueue> queue,
                             const TULNetworkCompletionHandler& handler);

    std::shared_ptr<TULReachabilityChecker> reachability_;
    TULMutableDictionary<std::shared_ptr<TULNetworkURLSession>> requests_;
    std::atomic<bool> networkConnected_{false};
    std::atomic<bool> isDebugModeEnabled_{false};
    mutable std::mutex delegateLock_;
    std::weak_ptr<TULNetworkReachabilityDelegate> reachabilityDelegate_;
    std::weak_ptr<TULNetworkLoggerDelegate> loggerDelegate_;
    std::atomic<double> timeoutInterval_{60};
    const plat::Clock* clock_;
};
