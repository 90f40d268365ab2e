#include "launch_at_login/LoginItem.h"

#include "platform/appkit/SMAppService.h"
#include "platform/appkit/SMLoginItem.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"

#include <atomic>

namespace launch_at_login {

using plat::SMAppService;

namespace {

constexpr const char* kHasMigratedKey = "LoginItem__hasMigrated";

std::atomic<bool> legacyHelperForTesting{false};

const plat::OSLog& logger() {
    static const plat::OSLog* log = new plat::OSLog("io.velmora.LoginItem", "main");
    return *log;
}

} // namespace

const std::string& LoginItem::id() {
    // Without a bundle identifier the helper's name would be just the suffix, which names no
    // helper of this application; an empty identifier makes the helper calls fail harmlessly.
    static const std::string* helper = [] {
        auto bundle = plat::Bundle::main().bundleIdentifier();
        return new std::string(bundle ? *bundle + "-LoginItemHelper" : "");
    }();
    return *helper;
}

bool LoginItem::isModernSystem() {
    // A distribution's version number says nothing about login items: the autostart entry the
    // session reads is there on every Linux, and it is also where the session's own switch shows.
    return !legacyHelperForTesting.load();
}

void LoginItem::setUsesLegacyHelperForTesting(bool legacy) {
    legacyHelperForTesting.store(legacy);
}

bool LoginItem::isEnabled() {
    if (isModernSystem()) return SMAppService::mainApp().status() == SMAppService::Status::enabled;
    return isEnabledLegacy();
}

void LoginItem::setIsEnabled(bool value) {
    observable().objectWillChange().send();
    kvo().willChangeValue("isEnabled");
    if (isModernSystem())
        setIsEnabledModern(value);
    else
        plat::SMLoginItemSetEnabled(id(), value);
    kvo().didChangeValue("isEnabled");
    subject().send(value);
}

bool LoginItem::isEnabledLegacy() {
    auto jobs = plat::SMCopyAllJobDictionaries(plat::kSMDomainUserLaunchd);
    if (!jobs || jobs->empty()) return false;
    for (const auto& job : *jobs) {
        if (!job.isDict()) return false; // not a list of dictionaries at all
    }
    for (const auto& job : *jobs) {
        const plat::Object& label = job["Label"];
        if (!label.isString() || label.string() != id()) continue;
        const plat::Object& onDemand = job["OnDemand"];
        return onDemand.isNumber() && onDemand.number().isBool() && onDemand.number().boolValue();
    }
    return false;
}

void LoginItem::setIsEnabledModern(bool value) {
    std::optional<plat::Error> error;
    if (value) {
        // Registering again over an existing registration refreshes it.
        if (SMAppService::mainApp().status() == SMAppService::Status::enabled)
            (void)SMAppService::mainApp().unregisterAndReturnError();
        error = SMAppService::mainApp().registerAndReturnError();
    } else {
        error = SMAppService::mainApp().unregisterAndReturnError();
    }
    if (error)
        logger().error(std::string("Failed to ") + (value ? "enable" : "disable") +
                       " launch at login: " + error->localizedDescription());
}

void LoginItem::migrateIfNeeded() {
    if (!isModernSystem()) return;
    auto& defaults = plat::UserDefaults::standard();
    if (defaults.boolean(kHasMigratedKey)) return;
    // Set before migrating, so a migration that fails is not retried at every launch.
    defaults.set(kHasMigratedKey, true);
    if (isEnabledLegacy()) setIsEnabledModern(true);
    unregisterLegacy();
}

void LoginItem::unregisterLegacy() {
    (void)plat::SMLoginItemSetEnabled(id(), false);
    (void)SMAppService::loginItem(id()).unregisterAndReturnError();
}

plat::CurrentValueSubject<bool>& LoginItem::subject() {
    static auto* s = new plat::CurrentValueSubject<bool>(isEnabled());
    return *s;
}

const plat::CurrentValueSubject<bool>& LoginItem::publisher() {
    return subject();
}

LoginItem::Observable& LoginItem::observable() {
    static auto* o = new Observable;
    return *o;
}

LoginItem::KVO& LoginItem::kvo() {
    static auto* k = new KVO;
    return *k;
}

plat::AnyCancellable LoginItem::KVO::observe(const std::string& keyPath,
                                             std::function<void(bool)> callback) const {
    if (keyPath != "isEnabled") return {};
    return isEnabledChanges_.sink(std::move(callback));
}

void LoginItem::KVO::willChangeValue(const std::string& keyPath) const {
    if (keyPath == "isEnabled") isEnabledChanges_.send(true);
}

void LoginItem::KVO::didChangeValue(const std::string& keyPath) const {
    if (keyPath == "isEnabled") isEnabledChanges_.send(false);
}

} // namespace launch_at_login
