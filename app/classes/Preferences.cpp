// Preferences in one place: the settings, each a Setting over the standard user defaults, then the
// credentials and the device identifier in the shared keychain.
#include "app/classes/Preferences.h"

#include "platform/foundation/DeviceSerial.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "platform/security/Digest.h"
#include "platform/security/UUID.h"

#include <algorithm>
#include <mutex>
#include <type_traits>

namespace {

plat::UserDefaults& defaults() {
    return plat::UserDefaults::standard();
}

// A key that was never written reads as the default; a stored value of the wrong kind does too,
// so a damaged settings file cannot turn a switch into something the screens cannot show.
bool readSetting(const char* key, bool fallback) {
    plat::Object value = defaults().object(key);
    if (value.isNumber() || value.isString()) return defaults().boolean(key);
    return fallback;
}

int64_t readSetting(const char* key, int64_t fallback) {
    plat::Object value = defaults().object(key);
    if (value.isNumber() || value.isString()) return defaults().integer(key);
    return fallback;
}

std::string readSetting(const char* key, const char* fallback) {
    plat::Object value = defaults().object(key);
    if (const std::string* text = value.asString()) return *text;
    return fallback;
}

// A stored text that names no choice reads as the default.
VPNProtocol readSetting(const char* key, VPNProtocol fallback) {
    plat::Object value = defaults().object(key);
    if (const std::string* text = value.asString())
        if (auto protocol = VPNProtocolFromRawValue(*text)) return *protocol;
    return fallback;
}

template <typename T> void writeSetting(const char* key, const T& value) {
    if constexpr (std::is_same_v<T, VPNProtocol>)
        defaults().set(key, rawValue(value));
    else
        defaults().set(key, value);
}

// One setting: its key in the standard user defaults, its type and what it reads as until written.
// Text settings keep their default as a literal so that every setting is a constant, ready before
// any other file's static initialisation could ask for it.
template <typename T> struct Setting {
    using Default = std::conditional_t<std::is_same_v<T, std::string>, const char*, T>;
    const char* key;
    Default fallback;

    T get() const { return readSetting(key, fallback); }
    void set(const T& value) const { writeSetting(key, value); }
    plat::Binding<T> binding() const {
        return plat::Binding<T>([setting = *this] { return setting.get(); },
                                [setting = *this](const T& value) { setting.set(value); });
    }
};

constexpr Setting<bool> killSwitchSetting{"KillSwitch", true};
constexpr Setting<bool> excludeLocalNetworksSetting{"ExcludeLocalNetworks", true};
constexpr Setting<VPNProtocol> vpnProtocolSetting{"VPNProtocol", VPNProtocol::Optimal};
constexpr Setting<VPNProtocol> connectedProtocolSetting{"ConnectedVPNProtocol", VPNProtocol::Optimal};
constexpr Setting<std::string> countryConnectedSetting{"CountryConnected", "VPN"};
constexpr Setting<bool> compactViewSetting{"CompactView", true};
constexpr Setting<bool> onboardingShownSetting{"onboardingShown", false};
constexpr Setting<bool> termsShownSetting{"termsShown", false};
constexpr Setting<bool> updatedSetting{"updated", false};
constexpr Setting<int64_t> configIdSetting{"configId", 0};

keychain::Keychain& sharedKeychain() {
    // Never destroyed: worker threads may still read credentials while the process exits.
    static keychain::Keychain* instance =
        new keychain::Keychain(Preferences::keychainGroupName, std::nullopt);
    return *instance;
}

// An identifier that could not be stored. Without it, a machine that has no serial would present
// a new random identifier to the service on every sign-in for as long as the keychain refuses
// writes.
std::mutex rememberedMutex;
std::optional<std::string>& rememberedUid = *new std::optional<std::string>;

bool storeUid(const std::string& identifier) {
    try {
        sharedKeychain().set(identifier, Preferences::Keys::uid, true);
        return true;
    } catch (...) {
        return false; // The identifier still serves this call; a later call tries again.
    }
}

} // namespace

bool Preferences::killSwitch() {
    return killSwitchSetting.get();
}
void Preferences::setKillSwitch(bool value) {
    killSwitchSetting.set(value);
}
plat::Binding<bool> Preferences::killSwitchBinding() {
    return killSwitchSetting.binding();
}
bool Preferences::excludeLocalNetworks() {
    return excludeLocalNetworksSetting.get();
}
void Preferences::setExcludeLocalNetworks(bool value) {
    excludeLocalNetworksSetting.set(value);
}
plat::Binding<bool> Preferences::excludeLocalNetworksBinding() {
    return excludeLocalNetworksSetting.binding();
}
VPNProtocol Preferences::vpnProtocol() {
    return vpnProtocolSetting.get();
}
void Preferences::setVpnProtocol(VPNProtocol value) {
    vpnProtocolSetting.set(value);
}
plat::Binding<VPNProtocol> Preferences::vpnProtocolBinding() {
    return vpnProtocolSetting.binding();
}
VPNProtocol Preferences::connectedProtocol() {
    return connectedProtocolSetting.get();
}
void Preferences::setConnectedProtocol(VPNProtocol value) {
    connectedProtocolSetting.set(value);
}
plat::Binding<VPNProtocol> Preferences::connectedProtocolBinding() {
    return connectedProtocolSetting.binding();
}
std::string Preferences::countryConnected() {
    return countryConnectedSetting.get();
}
void Preferences::setCountryConnected(const std::string& value) {
    countryConnectedSetting.set(value);
}
plat::Binding<std::string> Preferences::countryConnectedBinding() {
    return countryConnectedSetting.binding();
}
bool Preferences::compactView() {
    return compactViewSetting.get();
}
void Preferences::setCompactView(bool value) {
    compactViewSetting.set(value);
}
plat::Binding<bool> Preferences::compactViewBinding() {
    return compactViewSetting.binding();
}
bool Preferences::onboardingShown() {
    return onboardingShownSetting.get();
}
void Preferences::setOnboardingShown(bool value) {
    onboardingShownSetting.set(value);
}
plat::Binding<bool> Preferences::onboardingShownBinding() {
    return onboardingShownSetting.binding();
}
bool Preferences::termsShown() {
    return termsShownSetting.get();
}
void Preferences::setTermsShown(bool value) {
    termsShownSetting.set(value);
}
plat::Binding<bool> Preferences::termsShownBinding() {
    return termsShownSetting.binding();
}
bool Preferences::updated() {
    return updatedSetting.get();
}
void Preferences::setUpdated(bool value) {
    updatedSetting.set(value);
}
plat::Binding<bool> Preferences::updatedBinding() {
    return updatedSetting.binding();
}
int64_t Preferences::configId() {
    return configIdSetting.get();
}
void Preferences::setConfigId(int64_t value) {
    configIdSetting.set(value);
}
plat::Binding<int64_t> Preferences::configIdBinding() {
    return configIdSetting.binding();
}

const keychain::Keychain& Preferences::defaultKeychain() {
    return sharedKeychain();
}

void Preferences::setDefaultKeychain(const keychain::Keychain& keychain) {
    sharedKeychain() = keychain;
}

void Preferences::setKeychainValue(const std::optional<std::string>& value, const std::string& key) {
    std::string description;
    try {
        if (value)
            sharedKeychain().set(*value, key, true);
        else
            sharedKeychain().remove(key, true);
        return;
    } catch (const keychain::Status& status) {
        description = status.description();
    } catch (const plat::Error& error) {
        description = error.localizedDescription();
    } catch (const std::exception& error) {
        description = error.what();
    }
    plat::consoleLine("Keychain error for " + key + ": " + description);
}

std::optional<std::string> Preferences::token() {
    return defaultKeychain()[Keys::token];
}
void Preferences::setToken(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::token);
}
std::optional<std::string> Preferences::email() {
    return defaultKeychain()[Keys::email];
}
void Preferences::setEmail(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::email);
}
std::optional<std::string> Preferences::password() {
    return defaultKeychain()[Keys::password];
}
void Preferences::setPassword(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::password);
}
std::optional<std::string> Preferences::server() {
    return defaultKeychain()[Keys::server];
}
void Preferences::setServer(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::server);
}
std::optional<std::string> Preferences::vpnUsername() {
    return defaultKeychain()[Keys::vpnUsername];
}
void Preferences::setVpnUsername(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::vpnUsername);
}
std::optional<std::string> Preferences::vpnPassword() {
    return defaultKeychain()[Keys::vpnPassword];
}
void Preferences::setVpnPassword(const std::optional<std::string>& value) {
    setKeychainValue(value, Keys::vpnPassword);
}

std::optional<std::string> Preferences::macSerialNumber() {
    return plat::DeviceSerial::current();
}

std::optional<std::string> Preferences::uid() {
    if (auto stored = defaultKeychain()[Keys::uid]) return stored;
    {
        std::lock_guard lock(rememberedMutex);
        if (rememberedUid) {
            storeUid(*rememberedUid);
            return rememberedUid;
        }
    }

    std::string identifier;
    auto serial = macSerialNumber();
    const bool fromSerial = serial && !serial->empty();
    if (fromSerial) {
        plat::SHA256Digest digest = plat::sha256(*serial);
        plat::UUID::Bytes bytes{};
        std::copy_n(digest.begin(), bytes.size(), bytes.begin());
        identifier = plat::UUID(bytes).uuidString();
        plat::consoleLine("Your UUID is " + identifier);
    } else {
        identifier = plat::UUID().uuidString();
    }

    // A serial gives the same identifier on every derivation, so only a random one needs keeping.
    if (!storeUid(identifier) && !fromSerial) {
        std::lock_guard lock(rememberedMutex);
        if (!rememberedUid) rememberedUid = identifier;
        return rememberedUid;
    }
    return identifier;
}

void Preferences::resetForTesting() {
    std::lock_guard lock(rememberedMutex);
    rememberedUid.reset();
}
