#include "utilities/TULAppDelegateSwizzler.h"

#include "utilities/TULAssertion.h"
#include "utilities/TULLogger.h"

#include "platform/foundation/Bundle.h"
#include "platform/runtime/Invocation.h"
#include "platform/runtime/KeyValueObserving.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/security/UUID.h"

#include <cstdio>
#include <mutex>

namespace rt = plat::rt;

namespace {

constexpr const char* kSubsystem = "com.tessera.utilities.logger";
constexpr const char* kCategory = "[TesseraUtilities/AppDelegateSwizzler]";
constexpr const char* kProxyEnabledKey = "TesseraAppDelegateProxyEnabled";
constexpr const char* kUtilitiesProxyEnabledKey = "TesseraUtilitiesAppDelegateProxyEnabled";
constexpr const char* kDonorClassName = "TULAppDelegateSwizzler";
constexpr const char* kDonorDidRegisterSelector =
    "application:donor_didRegisterForRemoteNotificationsWithDeviceToken:";
constexpr const char* kDonorDidFailSelector =
    "application:donor_didFailToRegisterForRemoteNotificationsWithError:";
constexpr const char* kFakeDescriptionSelector = "fakeDescription";

// The keys of the objects attached to the proxied delegate.
const char kTULRealIMPBySelectorKey = 0;
const char kTULRealClassKey = 0;

template <typename... Args> void logAt(int level, long code, const std::string& message, Args&&... args) {
    std::string messageCode = TULStringWithFormat("I-SWZ%06ld", TULMakeFormatArguments(code));
    TULOSLogAtLevel(level, kSubsystem, kCategory, false, messageCode, message, std::forward<Args>(args)...);
}

struct ProxyState {
    std::recursive_mutex lock;
    rt::Id originalAppDelegate;
    rt::Class realClass = nullptr;
    rt::Class appDelegateSubclass = nullptr;
    bool proxiedOnce = false;
    bool remoteNotificationsOnce = false;
    std::optional<plat::Object::Dict> infoOverride;
    std::function<std::string()> uuidSource;
};

ProxyState& state() {
    static auto* s = new ProxyState;
    return *s;
}

std::string addressOf(const rt::Id& object) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(object.get()));
    return text;
}

const rt::Protocol* delegateProtocol() {
    return rt::getProtocol(rt::kNSApplicationDelegateProtocolName);
}

// The real implementations attached to the proxied delegate, by selector name; null entries stand
// for methods the real class does not have.
plat::Object implementationObject(const rt::IMP& imp) {
    if (!imp) return plat::Object::null();
    return plat::Object(plat::Opaque::make<rt::Implementation>(imp, "IMP"));
}

rt::IMP implementationFromObject(const plat::Object& object) {
    if (!object.isOpaque() || !object.opaque().as<rt::Implementation>()) return nullptr;
    return std::static_pointer_cast<const rt::Implementation>(object.opaque().pointer);
}

rt::IMP originalImplementationForSelector(rt::SEL selector, const rt::Id& object) {
    rt::Value attached = rt::getAssociatedObject(object, &kTULRealIMPBySelectorKey);
    const plat::Object* implementations = attached.plain();
    if (!implementations) return nullptr;
    return implementationFromObject((*implementations)[rt::selectorName(selector)]);
}

rt::IMP implementationOfMethodSelector(rt::SEL selector, rt::Class fromClass) {
    return rt::methodImplementation(rt::getInstanceMethod(fromClass, selector));
}

// Copies the donor's method into `toClass` under `destination` and records the real class's
// implementation of `destination` in `implementations`.
void proxyDestinationSelector(rt::SEL destination, rt::SEL source, rt::Class fromClass, rt::Class toClass,
                              rt::Class realClass, plat::Object::Dict& implementations) {
    TULAppDelegateSwizzler::addInstanceMethodWithDestinationSelector(destination, source, fromClass, toClass);
    implementations[rt::selectorName(destination)] =
        implementationObject(implementationOfMethodSelector(destination, realClass));
}

void proxyRemoteNotificationsMethods(rt::Class subclass, rt::Class realClass, const rt::Id& appDelegate,
                                     plat::Object::Dict* implementations) {
    if (!subclass || !realClass || !appDelegate || !implementations) return;
    rt::Class donor = TULAppDelegateSwizzler::donorClass();
    proxyDestinationSelector(rt::selector(rt::kDidRegisterForRemoteNotificationsSelector),
                             rt::selector(kDonorDidRegisterSelector), donor, subclass, realClass,
                             *implementations);
    proxyDestinationSelector(rt::selector(rt::kDidFailToRegisterForRemoteNotificationsSelector),
                             rt::selector(kDonorDidFailSelector), donor, subclass, realClass,
                             *implementations);
}

// An invocation of the protocol's optional instance method; none when the protocol does not
// describe it or its encoding cannot be read.
std::shared_ptr<rt::Invocation> appDelegateInvocationForSelector(rt::SEL selector) {
    std::optional<rt::MethodDescription> description =
        rt::protocolMethodDescription(delegateProtocol(), selector, false, true);
    if (!description) return nullptr;
    std::optional<rt::MethodSignature> signature =
        rt::MethodSignature::signatureWithObjCTypes(description->types);
    if (!signature) return nullptr;
    return rt::Invocation::invocationWithMethodSignature(std::move(*signature));
}

// ---- The donor methods, run as methods of the proxied delegate ----

rt::Value continueUserActivity(const rt::Id& self, const rt::Arguments& arguments) {
    rt::SEL selector = rt::selector(rt::kContinueUserActivitySelector);
    rt::IMP real = originalImplementationForSelector(selector, self);
    bool answer = false;
    TULAppDelegateSwizzler::notifyInterceptorsWithMethodSelector(selector, [&](const rt::Id& interceptor) {
        answer = rt::sendMessage(interceptor, selector, arguments).boolValue() || answer;
    });
    if (real) answer = real->body(self, selector, arguments).boolValue() || answer;
    return rt::Value(answer);
}

rt::Value remoteNotificationDonor(const char* selectorName, const rt::Id& self,
                                  const rt::Arguments& arguments) {
    rt::SEL selector = rt::selector(selectorName);
    rt::IMP real = originalImplementationForSelector(selector, self);
    TULAppDelegateSwizzler::notifyInterceptorsWithMethodSelector(selector, [&](const rt::Id& interceptor) {
        std::shared_ptr<rt::Invocation> invocation = appDelegateInvocationForSelector(selector);
        if (!invocation) return;
        invocation->setTarget(interceptor);
        invocation->setSelector(selector);
        invocation->setArgument(arguments.size() > 0 ? arguments[0] : rt::Value(), 2);
        invocation->setArgument(arguments.size() > 1 ? arguments[1] : rt::Value(), 3);
        invocation->invoke();
    });
    if (real) real->body(self, selector, arguments);
    return rt::Value();
}

rt::Value fakeDescription(const rt::Id& self, const rt::Arguments&) {
    rt::Class realClass = rt::getAssociatedObject(self, &kTULRealClassKey).cls();
    return rt::Value("<" + rt::className(realClass) + ": " + addressOf(self) + ">");
}

} // namespace

// ---- Switches ----

bool TULAppDelegateSwizzler::isAppDelegateProxyEnabled() {
    plat::Object::Dict info;
    {
        std::lock_guard guard(state().lock);
        info = state().infoOverride ? *state().infoOverride : plat::Bundle::main().infoDictionary();
    }
    for (const char* key : {kProxyEnabledKey, kUtilitiesProxyEnabledKey}) {
        auto found = info.find(key);
        if (found != info.end() && found->second.isNumber() && !found->second.number().boolValue())
            return false;
    }
    return true;
}

std::string TULAppDelegateSwizzler::correctAppDelegateProxyKey() {
    return rt::getClass("TSRCore") ? kProxyEnabledKey : kUtilitiesProxyEnabledKey;
}

std::string TULAppDelegateSwizzler::correctAlternativeWhenAppDelegateProxyNotCreated() {
    return rt::getClass("TSRCore")
               ? "To log deep link campaigns manually, call the methods in TSRAnalytics+AppDelegate.h."
               : "";
}

// ---- Interceptors ----

TULMutableDictionary<std::shared_ptr<TULZeroingWeakContainer>>& TULAppDelegateSwizzler::interceptors() {
    static auto* registry = new TULMutableDictionary<std::shared_ptr<TULZeroingWeakContainer>>;
    return *registry;
}

std::optional<std::string> TULAppDelegateSwizzler::registerAppDelegateInterceptor(const rt::Id& interceptor) {
    if (!interceptor) {
        TULAssertionFailed(kCategory, "AppDelegateProxy cannot add nil interceptor");
        logAt(TULLoggerLevelError, 1000, "AppDelegateProxy cannot add nil interceptor.");
        return std::nullopt;
    }
    if (!rt::conformsToProtocol(interceptor, delegateProtocol())) {
        TULAssertionFailed(kCategory,
                           "AppDelegateProxy interceptor does not conform to UIApplicationDelegate");
        logAt(TULLoggerLevelError, 1001,
              "AppDelegateProxy interceptor does not conform to UIApplicationDelegate");
        return std::nullopt;
    }
    std::string interceptorID = "TUL_" + addressOf(interceptor);
    if (interceptorID.empty()) {
        logAt(TULLoggerLevelError, 1002, "AppDelegateProxy cannot create Interceptor ID.");
        return std::nullopt;
    }
    interceptors().setObject(std::make_shared<TULZeroingWeakContainer>(TULZeroingWeakContainer{interceptor}),
                             interceptorID);
    return interceptorID;
}

void TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(
    const std::optional<std::string>& interceptorID) {
    if (!interceptorID) {
        TULAssertionFailed(kCategory, "AppDelegateProxy cannot unregister nil interceptor ID.");
        logAt(TULLoggerLevelError, 1003, "AppDelegateProxy cannot unregister empty interceptor ID.");
        return;
    }
    if (interceptorID->empty()) {
        TULAssertionFailed(kCategory, "AppDelegateProxy cannot unregister empty interceptor ID.");
        return;
    }
    std::optional<std::shared_ptr<TULZeroingWeakContainer>> container =
        interceptors().objectForKey(*interceptorID);
    if (!container || !*container || (*container)->object.expired()) {
        logAt(TULLoggerLevelError, 1004,
              "AppDelegateProxy cannot unregister interceptor that was not registered. Interceptor ID %@",
              *interceptorID);
        return;
    }
    interceptors().removeObjectForKey(*interceptorID);
}

void TULAppDelegateSwizzler::notifyInterceptorsWithMethodSelector(
    rt::SEL methodSelector, const std::function<void(const rt::Id&)>& callback) {
    if (!callback) return;
    for (const auto& [interceptorID, container] : interceptors().dictionary()) {
        rt::Id interceptor = container ? container->object.lock() : nullptr;
        if (!interceptor) {
            logAt(TULLoggerLevelWarning, 1010,
                  "AppDelegateProxy cannot find interceptor with ID %@. Removing the interceptor.",
                  interceptorID);
            interceptors().removeObjectForKey(interceptorID);
            continue;
        }
        if (rt::respondsToSelector(interceptor, methodSelector)) callback(interceptor);
    }
}

void TULAppDelegateSwizzler::clearInterceptors() {
    interceptors().removeAllObjects();
}

// ---- Proxying ----

rt::Id TULAppDelegateSwizzler::sharedApplication() {
    rt::Class application = rt::getClass(rt::kNSApplicationClassName);
    rt::SEL shared = rt::selector("sharedApplication");
    if (!application || !rt::classRespondsToSelector(rt::metaclass(application), shared)) return nullptr;
    return rt::sendMessage(rt::classObject(application), shared).object();
}

rt::Id TULAppDelegateSwizzler::originalDelegate() {
    std::lock_guard guard(state().lock);
    return state().originalAppDelegate;
}

void TULAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken() {
    std::lock_guard guard(state().lock);
    state().proxiedOnce = false;
    state().remoteNotificationsOnce = false;
}

void TULAppDelegateSwizzler::proxyOriginalDelegate() {
    {
        std::lock_guard guard(state().lock);
        if (state().proxiedOnce) return;
        state().proxiedOnce = true;
    }
    rt::Id application = sharedApplication();
    proxyAppDelegate(application ? rt::sendMessage(application, "delegate").object() : nullptr);
}

void TULAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods() {
    proxyOriginalDelegate();
    rt::Class subclass, realClass;
    rt::Id appDelegate;
    {
        std::lock_guard guard(state().lock);
        if (state().remoteNotificationsOnce) return;
        state().remoteNotificationsOnce = true;
        subclass = state().appDelegateSubclass;
        realClass = state().realClass;
        appDelegate = state().originalAppDelegate;
    }
    rt::Value attached = rt::getAssociatedObject(appDelegate, &kTULRealIMPBySelectorKey);
    plat::Object::Dict implementations = attached.plain() ? attached.plain()->dict() : plat::Object::Dict();
    proxyRemoteNotificationsMethods(subclass, realClass, appDelegate,
                                    attached.plain() ? &implementations : nullptr);
    rt::setAssociatedObject(appDelegate, &kTULRealIMPBySelectorKey, plat::Object(implementations),
                            rt::AssociationPolicy::RetainNonatomic);
    reassignAppDelegate();
}

void TULAppDelegateSwizzler::proxyAppDelegate(const rt::Id& appDelegate) {
    const std::string alternative = correctAlternativeWhenAppDelegateProxyNotCreated();
    if (!appDelegate) {
        logAt(TULLoggerLevelError, 1012,
              "Cannot create App Delegate Proxy because App Delegate instance is nil. %@", alternative);
        return;
    }
    if (!rt::conformsToProtocol(appDelegate, delegateProtocol())) {
        logAt(TULLoggerLevelNotice, 1014,
              "App Delegate does not conform to UIApplicationDelegate protocol. %@", alternative);
        return;
    }
    if (!isAppDelegateProxyEnabled()) {
        logAt(TULLoggerLevelNotice, 1011, "App Delegate Proxy is disabled. %@", alternative);
        return;
    }
    try {
        rt::Class realClass = rt::objectGetClass(appDelegate);
        rt::Class subclass = createSubclassWithObject(appDelegate);
        {
            std::lock_guard guard(state().lock);
            state().realClass = realClass;
            state().appDelegateSubclass = subclass;
        }
        // Re-assigned even when no subclass was made, so the delegate stays the application's.
        reassignAppDelegate();
    } catch (const std::exception&) {
        logAt(TULLoggerLevelError, 1013, "Cannot create App Delegate Proxy. %@", alternative);
    }
}

rt::Class TULAppDelegateSwizzler::createSubclassWithObject(const rt::Id& anObject) {
    rt::Class realClass = rt::objectGetClass(anObject);
    std::string uuid;
    {
        std::lock_guard guard(state().lock);
        uuid = state().uuidSource ? state().uuidSource() : plat::UUID().uuidString();
    }
    const std::string realName = rt::className(realClass);
    const std::string subclassName =
        TULStringWithFormat("%@-%@", TULMakeFormatArguments("TUL_" + realName, uuid));
    if (rt::getClass(subclassName)) {
        logAt(TULLoggerLevelError, 1005,
              "Cannot create a proxy for App Delegate. Subclass already exists. Original Class: %@, "
              "subclass: %@",
              realName, subclassName);
        return nullptr;
    }
    rt::Class subclass = rt::allocateClassPair(realClass, subclassName, 0);
    if (!subclass) {
        logAt(TULLoggerLevelError, 1006,
              "Cannot create a proxy for App Delegate. Subclass already exists. Original Class: %@, "
              "subclass: Nil",
              realName);
        return nullptr;
    }
    plat::Object::Dict implementations;
    rt::SEL continueActivity = rt::selector(rt::kContinueUserActivitySelector);
    proxyDestinationSelector(continueActivity, continueActivity, donorClass(), subclass, realClass,
                             implementations);
    addInstanceMethodWithDestinationSelector(rt::selector("description"),
                                             rt::selector(kFakeDescriptionSelector), donorClass(), subclass);
    rt::setAssociatedObject(anObject, &kTULRealIMPBySelectorKey, plat::Object(implementations),
                            rt::AssociationPolicy::RetainNonatomic);
    rt::setAssociatedObject(anObject, &kTULRealClassKey, rt::Value(realClass), rt::AssociationPolicy::Retain);
    if (rt::instanceSize(realClass) != rt::instanceSize(subclass)) {
        TULAssertionFailed(kCategory, "Classes must be the same size to swizzle isa");
        logAt(TULLoggerLevelError, 1007,
              "Cannot create subclass of App Delegate, because the created subclass is not the same size. %@",
              realName);
        rt::disposeClassPair(subclass);
        return nullptr;
    }
    rt::registerClassPair(subclass);
    if (rt::objectSetClass(anObject, subclass)) {
        logAt(TULLoggerLevelDebug, 1008,
              "Successfully created App Delegate Proxy automatically. To disable the proxy, set the flag %@ "
              "to NO "
              "(Boolean) in the Info.plist",
              correctAppDelegateProxyKey());
    }
    return subclass;
}

void TULAppDelegateSwizzler::addInstanceMethodWithDestinationSelector(rt::SEL destinationSelector,
                                                                      rt::SEL sourceSelector,
                                                                      rt::Class fromClass,
                                                                      rt::Class toClass) {
    rt::Method method = rt::getInstanceMethod(fromClass, sourceSelector);
    if (!rt::addMethod(toClass, destinationSelector, rt::methodImplementation(method),
                       rt::methodTypeEncoding(method))) {
        logAt(TULLoggerLevelWarning, 1009,
              "Cannot copy method to destination selector %@ as it already exists",
              rt::selectorName(destinationSelector));
    }
}

void TULAppDelegateSwizzler::reassignAppDelegate() {
    rt::Id application = sharedApplication();
    rt::Id delegate = rt::sendMessage(application, "delegate").object();
    // Clearing and setting the delegate again makes the application ask the new class which
    // methods it answers.
    rt::sendMessage(application, "setDelegate:", {rt::Value()});
    rt::sendMessage(application, "setDelegate:", {rt::Value(delegate)});
    {
        std::lock_guard guard(state().lock);
        state().originalAppDelegate = delegate;
    }
    TULAppDelegateObserver::sharedInstance().observeUIApplication();
}

rt::Class TULAppDelegateSwizzler::donorClass() {
    static rt::Class donor = [] {
        rt::Class cls = rt::allocateClassPair(nullptr, kDonorClassName, 0);
        if (!cls) return rt::getClass(kDonorClassName);
        rt::addMethod(cls, rt::selector(rt::kContinueUserActivitySelector),
                      rt::implementationWithBlock(continueUserActivity), rt::kContinueUserActivityTypes);
        rt::addMethod(cls, rt::selector(kDonorDidRegisterSelector),
                      rt::implementationWithBlock([](const rt::Id& self, const rt::Arguments& arguments) {
                          return remoteNotificationDonor(rt::kDidRegisterForRemoteNotificationsSelector, self,
                                                         arguments);
                      }),
                      rt::kRemoteNotificationsTypes);
        rt::addMethod(cls, rt::selector(kDonorDidFailSelector),
                      rt::implementationWithBlock([](const rt::Id& self, const rt::Arguments& arguments) {
                          return remoteNotificationDonor(rt::kDidFailToRegisterForRemoteNotificationsSelector,
                                                         self, arguments);
                      }),
                      rt::kRemoteNotificationsTypes);
        rt::addMethod(cls, rt::selector(kFakeDescriptionSelector),
                      rt::implementationWithBlock(fakeDescription), "@16@0:8");
        rt::registerClassPair(cls);
        return cls;
    }();
    return donor;
}

void TULAppDelegateSwizzler::setInfoDictionaryForTesting(std::optional<plat::Object::Dict> info) {
    std::lock_guard guard(state().lock);
    state().infoOverride = std::move(info);
}

void TULAppDelegateSwizzler::setUUIDSourceForTesting(std::function<std::string()> source) {
    std::lock_guard guard(state().lock);
    state().uuidSource = std::move(source);
}

// ---- Observer ----

TULAppDelegateObserver& TULAppDelegateObserver::sharedInstance() {
    static auto* observer = new TULAppDelegateObserver;
    return *observer;
}

void TULAppDelegateObserver::observeUIApplication() {
    if (isObserving_) return;
    rt::Id application = TULAppDelegateSwizzler::sharedApplication();
    if (!application) return;
    token_ = rt::addObserver(application, "delegate",
                             [this](const rt::Id&, const std::string&, const rt::KeyValueChange& change) {
                                 if (change.newValue == change.oldValue) return;
                                 rt::Id old = change.oldValue.object();
                                 if (!old || old != TULAppDelegateSwizzler::originalDelegate()) return;
                                 {
                                     std::lock_guard guard(state().lock);
                                     state().originalAppDelegate.reset();
                                 }
                                 rt::removeObserver(token_);
                                 isObserving_ = false;
                             });
    isObserving_ = true;
}
