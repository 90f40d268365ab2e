#include "platform/runtime/PlatformClasses.h"

#include "platform/runtime/KeyValueObserving.h"
#include "platform/runtime/RuntimeTables.h"

#include <atomic>

namespace plat::rt {

namespace {

// Where the application keeps its delegate (weakly, as the platform does).
const char kDelegateKey = 0;

void seedApplication(Class root) {
    registerProtocol(
        kNSApplicationDelegateProtocolName,
        {
            {kContinueUserActivitySelector, kContinueUserActivityTypes, false, true},
            {kDidRegisterForRemoteNotificationsSelector, kRemoteNotificationsTypes, false, true},
            {kDidFailToRegisterForRemoteNotificationsSelector, kRemoteNotificationsTypes, false, true},
            {kDidFinishLaunchingSelector, "v24@0:8@16", false, true},
            {kOpenURLsSelector, "v32@0:8@16@24", false, true},
        });
    Class application = allocateClassPair(root, kNSApplicationClassName, 0);
    addMethod(metaclass(application), selector("sharedApplication"),
              makeImplementation([](const Id&, SEL, const Arguments&) -> Value {
                  static Id* shared = new Id(createInstance(getClass(kNSApplicationClassName)));
                  return *shared;
              }),
              "@16@0:8");
    addMethod(application, selector("delegate"),
              makeImplementation([](const Id& self, SEL, const Arguments&) {
                  return getAssociatedObject(self, &kDelegateKey);
              }),
              "@16@0:8");
    addMethod(application, selector("setDelegate:"),
              makeImplementation([](const Id& self, SEL, const Arguments& arguments) {
                  Value old = getAssociatedObject(self, &kDelegateKey);
                  Value now = arguments.empty() ? Value() : arguments[0];
                  setAssociatedObject(self, &kDelegateKey, now, AssociationPolicy::Assign);
                  didChangeValueForKey(self, "delegate", old, now);
                  return Value();
              }),
              "v24@0:8@16");
    registerClassPair(application);
}

} // namespace

namespace detail {

void seedPlatformClasses() {
    static std::atomic<bool> seeded{false};
    if (seeded.load(std::memory_order_acquire)) return;
    std::lock_guard guard(tableLock());
    static bool seeding = false;
    if (seeded.load() || seeding) return; // the calls below come back here
    seeding = true;
    Class root = allocateClassPair(nullptr, kNSObjectClassName, 0);
    addMethod(root, selector("description"), makeImplementation([](const Id& self, SEL, const Arguments&) {
                  return Value(defaultDescription(self));
              }),
              "@16@0:8");
    registerClassPair(root);
    seedApplication(root);
    seeded.store(true, std::memory_order_release);
}

} // namespace detail

} // namespace plat::rt
