// The system's reachability interface for one host name, as plain functions over an opaque
// reference: create, set the callback with its context, schedule on (and unschedule from) the main
// run loop, release. Built on NetworkReachability; the route source of every reference made here is
// the process's default (NetworkPathMonitor::processDefault) unless a test replaces it. The callback runs on
// the main thread, only while the reference is scheduled, and never after it was unscheduled or released
// (which wait for a callback under way). Thread-safe.
#pragma once

#include "platform/dispatch/RunLoop.h"
#include "platform/net/NetworkPathMonitor.h"

#include <cstdint>
#include <memory>

namespace plat {

using SCNetworkReachabilityFlags = uint32_t;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsTransientConnection = 1u << 0;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 1u << 1;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5;

// The run-loop mode set that every scheduling here uses.
inline constexpr const char* kCFRunLoopCommonModes = "kCFRunLoopCommonModes";

struct SCNetworkReachabilityObject;
using SCNetworkReachabilityRef = SCNetworkReachabilityObject*;

using SCNetworkReachabilityCallBack = void (*)(SCNetworkReachabilityRef target,
                                               SCNetworkReachabilityFlags flags, void* info);

// What the callback receives as `info`; the memory functions may be null (then `info` is used as
// is). `version` must be 0.
struct SCNetworkReachabilityContext {
    long version = 0;
    void* info = nullptr;
    const void* (*retain)(const void* info) = nullptr;
    void (*release)(const void* info) = nullptr;
    const char* (*copyDescription)(const void* info) = nullptr;
};

// A new reference for `nodename` (UTF-8, NUL-terminated); null for a null or empty name. The
// allocator is accepted for the signature's sake and ignored.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const void* allocator, const char* nodename);
// Sets (or, with a null callback, clears) the callback; false for a null reference or a context of
// another version.
bool SCNetworkReachabilitySetCallback(SCNetworkReachabilityRef target, SCNetworkReachabilityCallBack callout,
                                      const SCNetworkReachabilityContext* context);
// Starts delivering changes on `runLoop` (the main run loop is the only one there is); false for a
// null reference, another run loop, a null mode or a reference scheduled already.
bool SCNetworkReachabilityScheduleWithRunLoop(SCNetworkReachabilityRef target, RunLoop* runLoop,
                                              const char* runLoopMode);
// Stops delivering; false when the reference was not scheduled there.
bool SCNetworkReachabilityUnscheduleFromRunLoop(SCNetworkReachabilityRef target, RunLoop* runLoop,
                                                const char* runLoopMode);
// Releases a reference made here (null is ignored); it is unscheduled first.
void SCNetworkReachabilityRelease(const void* reference);

// Test hook: the route source of the references created from now on (null: the kernel's again).
void SCNetworkReachabilitySetPathMonitorForTesting(std::shared_ptr<NetworkPathMonitor> monitor);

} // namespace plat
