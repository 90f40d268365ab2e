#include "platform/net/SCNetworkReachability.h"

#include "platform/net/NetworkReachability.h"

#include <mutex>

namespace plat {

namespace {

std::mutex& monitorLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::shared_ptr<NetworkPathMonitor>& monitorOverride() {
    static auto* monitor = new std::shared_ptr<NetworkPathMonitor>;
    return *monitor;
}

} // namespace

// What a scheduled delivery needs. The queued blocks hold it weakly and run the callback under its
// lock, so unscheduling or releasing from another thread waits for a callback under way, and none
// starts afterwards; the lock is recursive so that a callback may unschedule its own reference.
struct SCNetworkReachabilityDelivery {
    std::recursive_mutex lock;
    SCNetworkReachabilityRef target = nullptr;
    SCNetworkReachabilityCallBack callout = nullptr;
    SCNetworkReachabilityContext context;
    bool scheduled = false;
};

struct SCNetworkReachabilityObject {
    std::shared_ptr<NetworkReachability> handle;
    std::shared_ptr<SCNetworkReachabilityDelivery> delivery =
        std::make_shared<SCNetworkReachabilityDelivery>();
};

namespace {

void releaseInfo(SCNetworkReachabilityContext& context) {
    if (context.release && context.info) context.release(context.info);
    context = SCNetworkReachabilityContext{};
}

} // namespace

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const void* /*allocator*/,
                                                             const char* nodename) {
    if (!nodename || !*nodename) return nullptr;
    std::shared_ptr<NetworkPathMonitor> monitor;
    {
        std::lock_guard guard(monitorLock());
        monitor = monitorOverride();
    }
    auto handle = NetworkReachability::createWithName(nodename, std::move(monitor));
    if (!handle) return nullptr;
    auto* object = new SCNetworkReachabilityObject;
    object->handle = std::move(handle);
    object->delivery->target = object;
    return object;
}

bool SCNetworkReachabilitySetCallback(SCNetworkReachabilityRef target, SCNetworkReachabilityCallBack callout,
                                      const SCNetworkReachabilityContext* context) {
    if (!target) return false;
    if (callout && context && context->version != 0) return false;
    SCNetworkReachabilityDelivery& delivery = *target->delivery;
    std::lock_guard guard(delivery.lock);
    releaseInfo(delivery.context);
    delivery.callout = callout;
    if (callout && context) {
        delivery.context = *context;
        if (delivery.context.retain && delivery.context.info)
            delivery.context.info = const_cast<void*>(delivery.context.retain(delivery.context.info));
    }
    if (!callout) {
        target->handle->setCallback(nullptr);
        return true;
    }
    std::weak_ptr<SCNetworkReachabilityDelivery> weak = target->delivery;
    target->handle->setCallback([weak](uint32_t flags) {
        auto delivery = weak.lock();
        if (!delivery) return;
        std::lock_guard guard(delivery->lock);
        if (!delivery->scheduled || !delivery->callout) return;
        delivery->callout(delivery->target, flags, delivery->context.info);
    });
    return true;
}

bool SCNetworkReachabilityScheduleWithRunLoop(SCNetworkReachabilityRef target, RunLoop* runLoop,
                                              const char* runLoopMode) {
    if (!target || runLoop != &RunLoop::main() || !runLoopMode) return false;
    std::lock_guard guard(target->delivery->lock);
    if (target->delivery->scheduled) return false;
    target->delivery->scheduled = true;
    return target->handle->setDispatchQueue(mainQueue());
}

bool SCNetworkReachabilityUnscheduleFromRunLoop(SCNetworkReachabilityRef target, RunLoop* runLoop,
                                                const char* runLoopMode) {
    if (!target || runLoop != &RunLoop::main() || !runLoopMode) return false;
    std::lock_guard guard(target->delivery->lock);
    if (!target->delivery->scheduled) return false;
    target->delivery->scheduled = false;
    return target->handle->setDispatchQueue(std::nullopt);
}

void SCNetworkReachabilityRelease(const void* reference) {
    auto* object = static_cast<SCNetworkReachabilityObject*>(const_cast<void*>(reference));
    if (!object) return;
    {
        std::lock_guard guard(object->delivery->lock);
        object->delivery->scheduled = false;
        object->handle->setDispatchQueue(std::nullopt);
        object->handle->setCallback(nullptr);
        releaseInfo(object->delivery->context);
        object->delivery->callout = nullptr;
    }
    delete object;
}

void SCNetworkReachabilitySetPathMonitorForTesting(std::shared_ptr<NetworkPathMonitor> monitor) {
    std::lock_guard guard(monitorLock());
    monitorOverride() = std::move(monitor);
}

} // namespace plat
