#include "platform/runtime/PlatformClasses.h"

#include "platform/log/OSLog.h"
#include "platform/runtime/KeyValueObserving.h"
#include "platform/runtime/Runtime.h"
#include "platform/runtime/RuntimeTables.h"

#include <atomic>

namespace plat::rt {

namespace {

// Where the application keeps its delegate (weakly, as the platform does).
const char kDelegateKey = 0;
// Where an exception object keeps its parts.
const char kExceptionNameKey = 0;
const char kExceptionReasonKey = 0;
const char kExceptionAddressesKey = 0;

void seedException(Class root) {
    Class exception = allocateClassPair(root, kNSExceptionClassName, 0);
    auto getter = [](const void* key) {
        return makeImplementation(
            [key](const Id& self, SEL, const Arguments&) { return getAssociatedObject(self, key); });
    };
    addMethod(exception, selector("name"), getter(&kExceptionNameKey), "@16@0:8");
    addMethod(exception, selector("reason"), getter(&kExceptionReasonKey), "@16@0:8");
    addMethod(exception, selector("callStackReturnAddresses"), getter(&kExceptionAddressesKey), "@16@0:8");
    registerClassPair(exception);
}

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
    // The platform's own reporting: a line in the log. The process goes on; what happens after a
    // report is the application's choice.
    addMethod(application, selector(kReportExceptionSelector),
              makeImplementation([](const Id&, SEL, const Arguments& arguments) {
                  Id exception = arguments.empty() ? nullptr : arguments[0].object();
                  auto text = [&](const char* part) {
                      Value value = exception ? sendMessage(exception, part) : Value();
                      const std::string* string = value.plain() ? value.plain()->asString() : nullptr;
                      return string ? *string : std::string("(null)");
                  };
                  OSLog("io.velmora.runtime", "NSApplication")
                      .error("Reported exception " + text("name") + ": " + text("reason"));
                  return Value();
              }),
              kReportExceptionTypes);
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
    seedException(root);
    seeded.store(true, std::memory_order_release);
}

} // namespace detail

Id exceptionObject(const RuntimeException& exception) {
    Id object = createInstance(getClass(kNSExceptionClassName));
    Object::Array addresses;
    addresses.reserve(exception.callStackReturnAddresses().size());
    for (uint64_t address : exception.callStackReturnAddresses())
        addresses.push_back(Object(address));
    setAssociatedObject(object, &kExceptionNameKey, Value(exception.name()), AssociationPolicy::Copy);
    setAssociatedObject(object, &kExceptionReasonKey, Value(std::string(exception.what())),
                        AssociationPolicy::Copy);
    setAssociatedObject(object, &kExceptionAddressesKey, Value(Object(std::move(addresses))),
                        AssociationPolicy::Copy);
    return object;
}

Id sharedApplication() {
    Class application = getClass(kNSApplicationClassName);
    SEL shared = selector("sharedApplication");
    if (!application || !classRespondsToSelector(metaclass(application), shared)) return nullptr;
    return sendMessage(classObject(application), shared).object();
}

} // namespace plat::rt
