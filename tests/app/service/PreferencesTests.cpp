#include "app/classes/Preferences.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/UUID.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using servicetest::ConsoleCapture;
using servicetest::ServiceEnvironment;

namespace {

// Makes the next `count` keychain adds fail, so no new item can be stored.
void refuseAdds(int count) {
    for (int i = 0; i < count; ++i)
        plat::KeychainStore::shared().failNext(plat::errSecIO, plat::KeychainOperation::Add);
}

} // namespace

TEST(PreferencesSettings, DefaultsApplyUntilWrittenAndPersistAcrossReload) {
    ServiceEnvironment env;
    EXPECT_TRUE(Preferences::killSwitch());
    EXPECT_TRUE(Preferences::excludeLocalNetworks());
    EXPECT_TRUE(Preferences::compactView());
    EXPECT_FALSE(Preferences::onboardingShown());
    EXPECT_FALSE(Preferences::termsShown());
    EXPECT_FALSE(Preferences::updated());
    EXPECT_EQ(Preferences::countryConnected(), "VPN");
    EXPECT_EQ(Preferences::configId(), 0);
    EXPECT_EQ(Preferences::vpnProtocol(), VPNProtocol::Optimal);
    EXPECT_EQ(Preferences::connectedProtocol(), VPNProtocol::Optimal);

    Preferences::setKillSwitch(false);
    Preferences::setCountryConnected("Germany");
    Preferences::setConfigId(4242);
    Preferences::setVpnProtocol(VPNProtocol::OpenVPNudp);
    plat::UserDefaults::resetForTesting(); // read back from the file, not the cache

    EXPECT_FALSE(Preferences::killSwitch());
    EXPECT_EQ(Preferences::countryConnected(), "Germany");
    EXPECT_EQ(Preferences::configId(), 4242);
    EXPECT_EQ(Preferences::vpnProtocol(), VPNProtocol::OpenVPNudp);
    EXPECT_EQ(plat::UserDefaults::standard().string("VPNProtocol"), "OpenVPN\u00AE UDP");
}

TEST(PreferencesSettings, BindingsShareTheStoredValueWithOtherHolders) {
    ServiceEnvironment env;
    auto compact = Preferences::compactViewBinding();
    compact.set(false);
    EXPECT_FALSE(plat::UserDefaults::standard().boolean("CompactView"));
    plat::UserDefaults::standard().set("CompactView", true); // a screen's own stored setting
    EXPECT_TRUE(compact.get());

    auto region = Preferences::configIdBinding();
    region.set(17);
    EXPECT_EQ(Preferences::configId(), 17);
}

TEST(PreferencesSettings, UnknownProtocolTextReadsAsDefault) {
    ServiceEnvironment env;
    plat::UserDefaults::standard().set("VPNProtocol", "IKEv2");
    EXPECT_EQ(Preferences::vpnProtocol(), VPNProtocol::Optimal);
    plat::UserDefaults::standard().set("VPNProtocol", "IPSecIKEv2");
    EXPECT_EQ(Preferences::vpnProtocol(), VPNProtocol::IKEv2);

    EXPECT_EQ(VPNProtocolFromRawValue("OpenVPN\u00AE UDP"), VPNProtocol::OpenVPNudp);
    EXPECT_EQ(VPNProtocolFromRawValue("openvpn\u00AE udp"), std::nullopt);
    EXPECT_EQ(VPNProtocolFromRawValue("IKEv2"), std::nullopt);
    EXPECT_EQ(rawValue(VPNProtocol::Wireguard), "Wireguard\u00AE");
}

TEST(PreferencesCredentials, SetReadAndRemoveThroughTheSharedKeychain) {
    ServiceEnvironment env;
    ConsoleCapture console;
    EXPECT_EQ(Preferences::defaultKeychain().service(), "io.velmora.macSA");
    EXPECT_FALSE(Preferences::defaultKeychain().accessGroup().has_value());

    Preferences::setToken("t0k3n");
    Preferences::setEmail("user@velmora.example");
    EXPECT_EQ(Preferences::token(), "t0k3n");
    EXPECT_EQ(Preferences::defaultKeychain()["email"], "user@velmora.example");

    Preferences::setToken(std::nullopt);
    EXPECT_EQ(Preferences::token(), std::nullopt);
    Preferences::setServer(std::nullopt); // never stored: removing is no error
    EXPECT_TRUE(console.lines().empty());
}

TEST(PreferencesCredentials, FailedWriteIsPrintedWithoutTheValue) {
    ServiceEnvironment env;
    ConsoleCapture console;
    refuseAdds(1);
    Preferences::setKeychainValue("s3cr3t-password", "password");
    // The keychain layer prints its own status line first; ours names the key and the reason.
    EXPECT_EQ(console.countStartingWith("Keychain error for password: "), 1u);
    for (const auto& line : console.lines())
        EXPECT_EQ(line.find("s3cr3t"), std::string::npos) << line;
    EXPECT_EQ(Preferences::password(), std::nullopt);
}

TEST(PreferencesUid, SerialDerivesTheIdentifierOnceAndStoresIt) {
    ServiceEnvironment env;
    setenv("VELMORA_SERIAL_NUMBER", "abc", 1);
    ConsoleCapture console;

    EXPECT_EQ(Preferences::uid(), "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");
    EXPECT_EQ(console.lines(), std::vector<std::string>{"Your UUID is BA7816BF-8F01-CFEA-4141-40DE5DAE2223"});
    EXPECT_EQ(Preferences::defaultKeychain()["uid"], "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");

    EXPECT_EQ(Preferences::uid(), "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");
    EXPECT_EQ(console.lines().size(), 1u); // the stored value is read, nothing printed
}

TEST(PreferencesUid, StoredIdentifierWinsEvenWhenEmpty) {
    ServiceEnvironment env;
    setenv("VELMORA_SERIAL_NUMBER", "abc", 1);
    Preferences::setKeychainValue("", "uid");
    EXPECT_EQ(Preferences::uid(), "");
}

TEST(PreferencesUid, WithoutSerialARandomIdentifierIsMadeAndKept) {
    ServiceEnvironment env; // serial is empty
    ConsoleCapture console;
    auto first = Preferences::uid();
    ASSERT_TRUE(first.has_value());
    auto parsed = plat::UUID::fromString(*first);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->uuidString(), *first); // upper-case, hyphenated
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(Preferences::uid(), first);

    unsetenv("VELMORA_SERIAL_NUMBER");
    EXPECT_EQ(Preferences::uid(), first); // the stored item, whatever the machine offers now
}

TEST(PreferencesUid, UnstorableSerialIdentifierIsDerivedAgainEachTime) {
    ServiceEnvironment env;
    setenv("VELMORA_SERIAL_NUMBER", "abc", 1);
    ConsoleCapture console;
    refuseAdds(2);
    EXPECT_EQ(Preferences::uid(), "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");
    EXPECT_EQ(Preferences::uid(), "BA7816BF-8F01-CFEA-4141-40DE5DAE2223");
    EXPECT_EQ(console.countStartingWith("Your UUID is "), 2u);
    EXPECT_EQ(Preferences::defaultKeychain()["uid"], std::nullopt);
}

TEST(PreferencesUid, UnstorableRandomIdentifierStaysTheSameForTheProcess) {
    ServiceEnvironment env;
    refuseAdds(3);
    auto first = Preferences::uid();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(Preferences::uid(), first);
    EXPECT_EQ(Preferences::defaultKeychain()["uid"], std::nullopt);
    // Once the keychain accepts writes again the kept identifier is the one stored.
    EXPECT_EQ(Preferences::uid(), first);
    EXPECT_EQ(Preferences::uid(), first);
    EXPECT_EQ(Preferences::defaultKeychain()["uid"], first);
}
