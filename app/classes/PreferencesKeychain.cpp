// The keychain half of Preferences: credentials, the device identifier and the shared keychain.
#include "app/classes/Preferences.h"

#include "platform/log/OSLog.h"
#include "platform/foundation/DeviceSerial.h"
#include "platform/security/Digest.h"
#include "platform/security/UUID.h"

#include <algorithm>
#include <mutex>

namespace {

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
std::optional<std::string> rememberedUid;

bool storeUid(const std::string& identifier) {
    try {
        sharedKeychain().set(identifier, Preferences::Keys::uid, true);
        return true;
    } catch (...) {
        return false; // The identifier still serves this call; a later call tries again.
    }
}

} // namespace

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
