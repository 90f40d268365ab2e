// Turns the application's delegate into a proxy: the delegate object gets a generated subclass of
// its class whose application-delegate methods first tell the registered interceptors, then run the
// delegate's own implementation. Interceptors are held weakly; one that went away is dropped (with a
// warning) the next time a proxied method runs. Proxying happens once per process unless reset,
// and only when the information property list allows it. Called on the main thread, where the
// application lives; the interceptor registry is thread-safe. Refusals are logged, never raised.
#pragma once

#include "utilities/TULMutableDictionary.h"

#include "platform/object/Object.h"
#include "platform/runtime/Runtime.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Holds an interceptor weakly.
struct TULZeroingWeakContainer {
    plat::rt::WeakId object;
};

class TULAppDelegateSwizzler {
public:
    // Whether the information property list leaves the proxy on: off only when
    // "TesseraAppDelegateProxyEnabled" or "TesseraUtilitiesAppDelegateProxyEnabled" holds a number
    // whose boolean value is false.
    static bool isAppDelegateProxyEnabled();
    static std::string correctAppDelegateProxyKey();
    static std::string correctAlternativeWhenAppDelegateProxyNotCreated();

    // Registers an object of the application-delegate protocol; answers "TUL_<address>", or none
    // (after an error line) for a null or non-conforming object.
    static std::optional<std::string> registerAppDelegateInterceptor(const plat::rt::Id& interceptor);
    // Removes the entry when it still holds a live interceptor; none stands for a missing ID.
    static void unregisterAppDelegateInterceptorWithID(const std::optional<std::string>& interceptorID);

    // Once per process: proxies the shared application's current delegate.
    static void proxyOriginalDelegate();
    // proxyOriginalDelegate, then once per process the remote-notification methods too.
    static void proxyOriginalDelegateIncludingAPNSMethods();

    // The platform's shared application; none when the runtime has no application class.
    static plat::rt::Id sharedApplication();
    // The delegate that was proxied (until the application's delegate is replaced).
    static plat::rt::Id originalDelegate();
    static void clearInterceptors();
    static void resetProxyOriginalDelegateOnceToken();

    // ---- Steps of the proxy (public for tests) ----
    static void proxyAppDelegate(const plat::rt::Id& appDelegate);
    static plat::rt::Class createSubclassWithObject(const plat::rt::Id& anObject);
    static void reassignAppDelegate();
    // Calls `callback` with each live interceptor that answers `methodSelector`, dropping (with a
    // warning) the entries whose interceptor went away.
    static void
    notifyInterceptorsWithMethodSelector(plat::rt::SEL methodSelector,
                                         const std::function<void(const plat::rt::Id&)>& callback);
    static void addInstanceMethodWithDestinationSelector(plat::rt::SEL destinationSelector,
                                                         plat::rt::SEL sourceSelector,
                                                         plat::rt::Class fromClass, plat::rt::Class toClass);
    // The class whose instance methods are copied into the generated subclasses.
    static plat::rt::Class donorClass();

    // Test hooks: the information dictionary to read (none: the main bundle's), and the source of
    // the unique part of generated class names (none: a fresh UUID).
    static void setInfoDictionaryForTesting(std::optional<plat::Object::Dict> info);
    static void setUUIDSourceForTesting(std::function<std::string()> source);

    static TULMutableDictionary<std::shared_ptr<TULZeroingWeakContainer>>& interceptors();
};

// Watches the application's "delegate" and forgets the proxied delegate once another object
// replaces it.
class TULAppDelegateObserver {
public:
    static TULAppDelegateObserver& sharedInstance();
    void observeUIApplication();
    bool isObserving() const { return isObserving_; }

private:
    bool isObserving_ = false;
    uint64_t token_ = 0;
};
