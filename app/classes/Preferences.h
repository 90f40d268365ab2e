// What the application keeps across launches: the user's settings in the standard user defaults,
// the credentials and identifiers in the keychain of the service "io.velmora.macSA", and the
// device identifier the REST API knows this installation by. Static members only. Settings and
// keychain calls are synchronous on the caller's thread; the stores are the synchronisation.
#pragma once

#include "app/classes/VPNProtocol.h"
#include "keychain/Keychain.h"
#include "platform/foundation/Binding.h"

#include <cstdint>
#include <optional>
#include <string>

class Preferences {
public:
    Preferences() = delete;

    // Key texts of the settings and keychain items (some are reserved and never stored).
    struct Keys {
        static constexpr const char* onboardingShown = "onboardingShown";
        static constexpr const char* termsShown = "termsShown";
        static constexpr const char* reconnect = "reconnect";
        static constexpr const char* token = "token";
        static constexpr const char* email = "email";
        static constexpr const char* uid = "uid";
        static constexpr const char* server = "server";
        static constexpr const char* password = "password";
        static constexpr const char* vpnProtocol = "vpnProtocol";
        static constexpr const char* vpnPassword = "vpnPassword";
        static constexpr const char* vpnUsername = "vpnUsername";
        static constexpr const char* sharedSecret = "sharedSecret";
        static constexpr const char* updated = "updated";
        static constexpr const char* configId = "configId";
    };

    // The service under which the tunnel's password item lives; the same as defaultKeychain's.
    static constexpr const char* keychainGroupName = "io.velmora.macSA";

    // ---- Settings: the stored value, or the default when the key was never written. Each has a
    // binding through which a settings control reads and writes the same stored value. ----
    static bool killSwitch(); // "KillSwitch", true
    static void setKillSwitch(bool value);
    static plat::Binding<bool> killSwitchBinding();
    static bool excludeLocalNetworks(); // "ExcludeLocalNetworks", true
    static void setExcludeLocalNetworks(bool value);
    static plat::Binding<bool> excludeLocalNetworksBinding();
    // "VPNProtocol", Optimal; a stored text that names no choice reads as the default.
    static VPNProtocol vpnProtocol();
    static void setVpnProtocol(VPNProtocol value);
    static plat::Binding<VPNProtocol> vpnProtocolBinding();
    static VPNProtocol connectedProtocol(); // "ConnectedVPNProtocol", Optimal
    static void setConnectedProtocol(VPNProtocol value);
    static plat::Binding<VPNProtocol> connectedProtocolBinding();
    static std::string countryConnected(); // "CountryConnected", "VPN"
    static void setCountryConnected(const std::string& value);
    static plat::Binding<std::string> countryConnectedBinding();
    static bool compactView(); // "CompactView", true
    static void setCompactView(bool value);
    static plat::Binding<bool> compactViewBinding();
    static bool onboardingShown(); // "onboardingShown", false
    static void setOnboardingShown(bool value);
    static plat::Binding<bool> onboardingShownBinding();
    static bool termsShown(); // "termsShown", false
    static void setTermsShown(bool value);
    static plat::Binding<bool> termsShownBinding();
    static bool updated(); // "updated", false
    static void setUpdated(bool value);
    static plat::Binding<bool> updatedBinding();
    static int64_t configId(); // "configId", 0: the selected region's id
    static void setConfigId(int64_t value);
    static plat::Binding<int64_t> configIdBinding();

    // ---- Credentials: the keychain item of the key; none when missing or unreadable. Setting none
    // removes the item. Writes go through setKeychainValue. ----
    static std::optional<std::string> token();
    static void setToken(const std::optional<std::string>& value);
    static std::optional<std::string> email();
    static void setEmail(const std::optional<std::string>& value);
    static std::optional<std::string> password();
    static void setPassword(const std::optional<std::string>& value);
    static std::optional<std::string> server();
    static void setServer(const std::optional<std::string>& value);
    static std::optional<std::string> vpnUsername();
    static void setVpnUsername(const std::optional<std::string>& value);
    static std::optional<std::string> vpnPassword();
    static void setVpnPassword(const std::optional<std::string>& value);

    // The device identifier: the stored "uid", else derived from the machine serial (the first half
    // of its SHA-256 as an upper-case UUID) or made at random, and stored. Always has a value.
    static std::optional<std::string> uid();
    // The machine's serial number; none when the machine has none.
    static std::optional<std::string> macSerialNumber();

    // The application's one keychain, created on first use. The program never replaces it; the
    // setter is for tests and must not race with readers.
    static const keychain::Keychain& defaultKeychain();
    static void setDefaultKeychain(const keychain::Keychain& keychain);

    // Writes `value` under `key` (update or add), or removes the item for none. A failure prints
    // "Keychain error for <key>: <description>" and is otherwise ignored.
    static void setKeychainValue(const std::optional<std::string>& value, const std::string& key);

    // Test hook: forgets the identifier kept in memory after a failed store.
    static void resetForTesting();
};
