// The user-defaults half of Preferences: typed settings with their defaults and bindings.
#include "app/classes/Preferences.h"

#include "platform/foundation/UserDefaults.h"

namespace {

plat::UserDefaults& defaults() {
    return plat::UserDefaults::standard();
}

// A key that was never written reads as the default; a stored value of the wrong kind does too,
// so a damaged settings file cannot turn a switch into something the screens cannot show.
bool readBool(const char* key, bool fallback) {
    plat::Object value = defaults().object(key);
    if (value.isNumber()) return defaults().boolean(key);
    if (value.isString()) return defaults().boolean(key);
    return fallback;
}

int64_t readInt(const char* key, int64_t fallback) {
    plat::Object value = defaults().object(key);
    if (value.isNumber() || value.isString()) return defaults().integer(key);
    return fallback;
}

std::string readString(const char* key, const std::string& fallback) {
    plat::Object value = defaults().object(key);
    if (const std::string* text = value.asString()) return *text;
    return fallback;
}

VPNProtocol readProtocol(const char* key) {
    plat::Object value = defaults().object(key);
    if (const std::string* text = value.asString())
        if (auto protocol = VPNProtocolFromRawValue(*text)) return *protocol;
    return VPNProtocol::Optimal;
}

template <typename T, typename Get, typename Set> plat::Binding<T> bindingOf(Get get, Set set) {
    return plat::Binding<T>([get] { return get(); }, [set](const T& value) { set(value); });
}

} // namespace

bool Preferences::killSwitch() {
    return readBool("KillSwitch", true);
}
void Preferences::setKillSwitch(bool value) {
    defaults().set("KillSwitch", value);
}
plat::Binding<bool> Preferences::killSwitchBinding() {
    return bindingOf<bool>(killSwitch, setKillSwitch);
}

bool Preferences::excludeLocalNetworks() {
    return readBool("ExcludeLocalNetworks", true);
}
void Preferences::setExcludeLocalNetworks(bool value) {
    defaults().set("ExcludeLocalNetworks", value);
}
plat::Binding<bool> Preferences::excludeLocalNetworksBinding() {
    return bindingOf<bool>(excludeLocalNetworks, setExcludeLocalNetworks);
}

VPNProtocol Preferences::vpnProtocol() {
    return readProtocol("VPNProtocol");
}
void Preferences::setVpnProtocol(VPNProtocol value) {
    defaults().set("VPNProtocol", rawValue(value));
}
plat::Binding<VPNProtocol> Preferences::vpnProtocolBinding() {
    return bindingOf<VPNProtocol>(vpnProtocol, setVpnProtocol);
}

VPNProtocol Preferences::connectedProtocol() {
    return readProtocol("ConnectedVPNProtocol");
}
void Preferences::setConnectedProtocol(VPNProtocol value) {
    defaults().set("ConnectedVPNProtocol", rawValue(value));
}
plat::Binding<VPNProtocol> Preferences::connectedProtocolBinding() {
    return bindingOf<VPNProtocol>(connectedProtocol, setConnectedProtocol);
}

std::string Preferences::countryConnected() {
    return readString("CountryConnected", "VPN");
}
void Preferences::setCountryConnected(const std::string& value) {
    defaults().set("CountryConnected", value);
}
plat::Binding<std::string> Preferences::countryConnectedBinding() {
    return bindingOf<std::string>(countryConnected, setCountryConnected);
}

bool Preferences::compactView() {
    return readBool("CompactView", true);
}
void Preferences::setCompactView(bool value) {
    defaults().set("CompactView", value);
}
plat::Binding<bool> Preferences::compactViewBinding() {
    return bindingOf<bool>(compactView, setCompactView);
}

bool Preferences::onboardingShown() {
    return readBool("onboardingShown", false);
}
void Preferences::setOnboardingShown(bool value) {
    defaults().set("onboardingShown", value);
}
plat::Binding<bool> Preferences::onboardingShownBinding() {
    return bindingOf<bool>(onboardingShown, setOnboardingShown);
}

bool Preferences::termsShown() {
    return readBool("termsShown", false);
}
void Preferences::setTermsShown(bool value) {
    defaults().set("termsShown", value);
}
plat::Binding<bool> Preferences::termsShownBinding() {
    return bindingOf<bool>(termsShown, setTermsShown);
}

bool Preferences::updated() {
    return readBool("updated", false);
}
void Preferences::setUpdated(bool value) {
    defaults().set("updated", value);
}
plat::Binding<bool> Preferences::updatedBinding() {
    return bindingOf<bool>(updated, setUpdated);
}

int64_t Preferences::configId() {
    return readInt("configId", 0);
}
void Preferences::setConfigId(int64_t value) {
    defaults().set("configId", value);
}
plat::Binding<int64_t> Preferences::configIdBinding() {
    return bindingOf<int64_t>(configId, setConfigId);
}
