// Registers the application as a login item of the current user and reports whether it is
// registered. The system holds the state: every read asks it again. The application itself is the
// login item (SMAppService.mainApp, its XDG autostart entry), which every Linux offers whatever the
// distribution's version. The older path, a helper switched with SMLoginItemSetEnabled and read back
// from the job list, is left only to move over from (migrateIfNeeded) and for its tests. Not
// instantiable; synchronous, no locks.
#pragma once

#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Subject.h"

#include <functional>
#include <string>

namespace launch_at_login {

class LoginItem {
public:
    LoginItem() = delete;

    // Whether the application starts at login.
    static bool isEnabled();
    // Registers or unregisters the application, then tells the observable, the key-value observers
    // and the publisher. They receive the requested value even when the registration failed (the
    // failure is logged); a later read shows the real state.
    static void setIsEnabled(bool value);

    // The object a settings switch observes; its objectWillChange fires before every assignment.
    class Observable : public plat::ObservableObject {
    public:
        bool isEnabled() const { return LoginItem::isEnabled(); }
        void setIsEnabled(bool value) const { LoginItem::setIsEnabled(value); }
    };

    // Key-value observing of "isEnabled": observers hear a prior notification before each
    // assignment and a second one after it, and read the value through the getter.
    class KVO {
    public:
        bool isEnabled() const { return LoginItem::isEnabled(); }
        void setIsEnabled(bool value) const { LoginItem::setIsEnabled(value); }

        // `callback(isPrior)` for every change of `keyPath` until the handle is dropped.
        [[nodiscard]] plat::AnyCancellable observe(const std::string& keyPath,
                                                   std::function<void(bool isPrior)> callback) const;
        void willChangeValue(const std::string& keyPath) const;
        void didChangeValue(const std::string& keyPath) const;

    private:
        mutable plat::PassthroughSubject<bool> isEnabledChanges_;
    };

    class Toggle; // LoginItemToggle.h

    // Receives the value current at its first use (or the last one sent), then every assigned value.
    static const plat::CurrentValueSubject<bool>& publisher();
    static Observable& observable();
    static KVO& kvo();

    // Moves a registration made through the older helper over to the application itself, once
    // ("LoginItem__hasMigrated" in the standard user defaults). Does nothing on the helper path.
    static void migrateIfNeeded();

    // Test hook: true switches and reads through the helper from the next call on; false restores
    // the application's own registration, which every Linux gets.
    static void setUsesLegacyHelperForTesting(bool legacy);

private:
    // The helper's identifier: the main bundle's identifier + "-LoginItemHelper".
    static const std::string& id();
    // Whether the application's own registration is used: on every Linux, whatever the
    // distribution's version, unless a test asks for the helper path.
    static bool isModernSystem();
    static bool isEnabledLegacy();
    static void setIsEnabledModern(bool value);
    static void unregisterLegacy();
    static plat::CurrentValueSubject<bool>& subject();
};

} // namespace launch_at_login
