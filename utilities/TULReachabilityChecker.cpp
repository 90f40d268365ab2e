#include "utilities/TULReachabilityChecker.h"

#include "utilities/TULLogger.h"

namespace {

constexpr const char* kSubsystem = "com.tessera.utilities.logger";
constexpr const char* kCategory = "[TULReachability]";

std::string code(long number) {
    return TULStringWithFormat("I-REA%06ld", TULMakeFormatArguments(number));
}

void ReachabilityCallback(plat::SCNetworkReachabilityRef, plat::SCNetworkReachabilityFlags flags,
                          void* info) {
    static_cast<TULReachabilityChecker*>(info)->reachabilityFlagsChanged(flags);
}

} // namespace

const TULReachabilityApi kTULDefaultReachabilityApi = {
    plat::SCNetworkReachabilityCreateWithName,
    plat::SCNetworkReachabilitySetCallback,
    plat::SCNetworkReachabilityScheduleWithRunLoop,
    plat::SCNetworkReachabilityUnscheduleFromRunLoop,
    plat::SCNetworkReachabilityRelease,
};

std::string TULReachabilityStatusString(int32_t status) {
    switch (status) {
    case kTULReachabilityUnknown:
        return "Reachability Unknown";
    case kTULReachabilityNotReachable:
        return "Not reachable";
    case kTULReachabilityViaWifi:
        return "Reachable via Wifi";
    case kTULReachabilityViaCellular:
        return "Reachable via Cellular Data";
    default:
        return TULStringWithFormat("Invalid reachability status %d", TULMakeFormatArguments(status));
    }
}

std::shared_ptr<TULReachabilityChecker>
TULReachabilityChecker::initWithReachabilityDelegate(const std::shared_ptr<TULReachabilityDelegate>& delegate,
                                                     const std::string& host) {
    if (host.empty()) {
        TULOSLogError(kSubsystem, kCategory, false, code(902001), "Invalid host specified");
        return nullptr;
    }
    std::shared_ptr<TULReachabilityChecker> checker(new TULReachabilityChecker);
    checker->setReachabilityDelegate(delegate);
    checker->host_ = host;
    return checker;
}

TULReachabilityChecker::~TULReachabilityChecker() {
    reachabilityDelegate_.reset();
    stop();
}

bool TULReachabilityChecker::start() {
    if (!reachability_) {
        reachability_ = reachabilityApi_->createWithNameFn(nullptr, host_.c_str());
        if (!reachability_) return false;
        plat::SCNetworkReachabilityContext context;
        context.version = 0;
        context.info = this;
        bool hooked = reachabilityApi_->setCallbackFn(reachability_, ReachabilityCallback, &context) &&
                      reachabilityApi_->scheduleWithRunLoopFn(reachability_, &plat::RunLoop::main(),
                                                              plat::kCFRunLoopCommonModes);
        if (!hooked) {
            reachabilityApi_->releaseFn(reachability_);
            reachability_ = nullptr;
            TULOSLogError(kSubsystem, kCategory, false, code(902002), "Failed to start reachability handle");
            return false;
        }
    }
    TULOSLogDebug(kSubsystem, kCategory, false, code(902003), "Monitoring the network status");
    return true;
}

void TULReachabilityChecker::stop() {
    if (!reachability_) return;
    reachabilityStatus_ = kTULReachabilityUnknown;
    reachabilityApi_->unscheduleFromRunLoopFn(reachability_, &plat::RunLoop::main(),
                                              plat::kCFRunLoopCommonModes);
    reachabilityApi_->releaseFn(reachability_);
    reachability_ = nullptr;
}

void TULReachabilityChecker::setReachabilityApi(const TULReachabilityApi* api) {
    if (reachability_) {
        TULOSLogError(kSubsystem, kCategory, false, code(902000),
                      "Cannot change reachability API while reachability is running. Call stop first.");
        return;
    }
    reachabilityApi_ = api;
}

void TULReachabilityChecker::setReachabilityDelegate(
    const std::shared_ptr<TULReachabilityDelegate>& delegate) {
    // Any object given here implements the delegate interface, so the refusal with 902005 that an
    // untyped delegate would need cannot arise.
    reachabilityDelegate_ = delegate;
}

TULReachabilityStatus TULReachabilityChecker::statusForFlags(plat::SCNetworkReachabilityFlags flags) const {
    bool reachable = flags & plat::kSCNetworkReachabilityFlagsReachable;
    bool connectionRequired = flags & plat::kSCNetworkReachabilityFlagsConnectionRequired;
    bool interventionRequired = flags & plat::kSCNetworkReachabilityFlagsInterventionRequired;
    bool automatic = flags & (plat::kSCNetworkReachabilityFlagsConnectionOnTraffic |
                              plat::kSCNetworkReachabilityFlagsConnectionOnDemand);
    if (reachable && (!connectionRequired || (!interventionRequired && automatic)))
        return kTULReachabilityViaWifi;
    return kTULReachabilityNotReachable;
}

void TULReachabilityChecker::reachabilityFlagsChanged(plat::SCNetworkReachabilityFlags flags) {
    TULReachabilityStatus status = statusForFlags(flags);
    if (status == reachabilityStatus_) return;
    const char* word = status == kTULReachabilityUnknown        ? "Unknown"
                       : status == kTULReachabilityNotReachable ? "Disconnected"
                                                                : "Connected";
    TULOSLogDebug(kSubsystem, kCategory, false, code(902004),
                  "Network status has changed. Code:%@, status:%@", static_cast<int32_t>(status), word);
    reachabilityStatus_ = status;
    if (auto delegate = reachabilityDelegate_.lock()) delegate->reachability(*this, status);
}
