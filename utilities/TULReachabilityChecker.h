// Watches whether one host can be reached through the platform's reachability service and tells a
// delegate each time the status really changes. The service is reached through a record of five
// functions so that it can be replaced. Status changes arrive on the main run loop; set the checker
// up on one thread (the main thread) and stop or release it on any.
#pragma once

#include "platform/dispatch/RunLoop.h"
#include "platform/net/SCNetworkReachability.h"

#include <cstdint>
#include <memory>
#include <string>

enum TULReachabilityStatus : int32_t {
    kTULReachabilityUnknown = 0,
    kTULReachabilityNotReachable = 1,
    kTULReachabilityViaWifi = 2,
    kTULReachabilityViaCellular = 3,
};

// "Reachability Unknown", "Not reachable", "Reachable via Wifi", "Reachable via Cellular Data",
// or "Invalid reachability status <n>" for any other value.
std::string TULReachabilityStatusString(int32_t status);

// The reachability service's functions, in the order the service names them.
struct TULReachabilityApi {
    plat::SCNetworkReachabilityRef (*createWithNameFn)(const void* allocator, const char* host);
    bool (*setCallbackFn)(plat::SCNetworkReachabilityRef reachability,
                          plat::SCNetworkReachabilityCallBack callback,
                          const plat::SCNetworkReachabilityContext* context);
    bool (*scheduleWithRunLoopFn)(plat::SCNetworkReachabilityRef reachability, plat::RunLoop* runLoop,
                                  const char* mode);
    bool (*unscheduleFromRunLoopFn)(plat::SCNetworkReachabilityRef reachability, plat::RunLoop* runLoop,
                                    const char* mode);
    void (*releaseFn)(const void* reference);
};

// The platform's own functions.
extern const TULReachabilityApi kTULDefaultReachabilityApi;

class TULReachabilityChecker;

// Hears the status changes of a checker, on the main thread.
class TULReachabilityDelegate {
public:
    virtual ~TULReachabilityDelegate() = default;
    virtual void reachability(TULReachabilityChecker& reachability, TULReachabilityStatus status) = 0;
};

class TULReachabilityChecker {
public:
    // A stopped checker of `host` with the default service functions and status 0; none (after the
    // error 902001) for an empty host. The delegate is held weakly.
    static std::shared_ptr<TULReachabilityChecker>
    initWithReachabilityDelegate(const std::shared_ptr<TULReachabilityDelegate>& delegate,
                                 const std::string& host);
    // Clears the delegate, then stops.
    ~TULReachabilityChecker();
    TULReachabilityChecker(const TULReachabilityChecker&) = delete;
    TULReachabilityChecker& operator=(const TULReachabilityChecker&) = delete;

    // Starts monitoring; true when it runs (at once when it ran already). A failure to create the
    // service's reference answers false silently; a failure to hook it up is logged (902002).
    bool start();
    // Back to status 0 and stopped; nothing when not running.
    void stop();

    TULReachabilityStatus reachabilityStatus() const { return reachabilityStatus_; }
    const TULReachabilityApi* reachabilityApi() const { return reachabilityApi_; }
    // Replaces the service functions (not owned; must outlive the checker); refused with the error
    // 902000 while running.
    void setReachabilityApi(const TULReachabilityApi* api);
    plat::SCNetworkReachabilityRef reachability() const { return reachability_; }
    const std::string& host() const { return host_; }
    std::shared_ptr<TULReachabilityDelegate> reachabilityDelegate() const {
        return reachabilityDelegate_.lock();
    }
    // Null is accepted and clears the delegate.
    void setReachabilityDelegate(const std::shared_ptr<TULReachabilityDelegate>& delegate);
    bool isActive() const { return reachability_ != nullptr; }

    // The status that the service's flags stand for: 2 when the host is reachable without a
    // connection to set up, or with one that comes on traffic or on demand and needs no user;
    // otherwise 1.
    TULReachabilityStatus statusForFlags(plat::SCNetworkReachabilityFlags flags) const;
    // Called from the service's callback: on a new status, logs it, stores it and tells the delegate.
    void reachabilityFlagsChanged(plat::SCNetworkReachabilityFlags flags);

private:
    TULReachabilityChecker() = default;

    TULReachabilityStatus reachabilityStatus_ = kTULReachabilityUnknown;
    const TULReachabilityApi* reachabilityApi_ = &kTULDefaultReachabilityApi;
    plat::SCNetworkReachabilityRef reachability_ = nullptr;
    std::string host_;
    std::weak_ptr<TULReachabilityDelegate> reachabilityDelegate_;
};
