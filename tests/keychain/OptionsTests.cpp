// The options' query and attribute dictionaries, the enums' raw values and the policy set.
#include "keychain/Keychain.h"
#include "keychain/Options.h"
#include "platform/security/SecAccessControl.h"
#include "platform/security/SecItem.h"

#include <gtest/gtest.h>

using namespace keychain;
using namespace plat;

namespace {

Options internet(const std::string& url) {
    Options o;
    o.itemClass = ItemClass::internetPassword;
    o.server = URL::string(url);
    o.protocolType = ProtocolType::https;
    return o;
}

TEST(OptionsTest, QueryOfTheApplicationsStore) {
    Keychain store("io.velmora.macSA", std::nullopt);
    EXPECT_EQ(store.options().query(true), (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                                         {kSecAttrSynchronizable, kSecAttrSynchronizableAny},
                                                         {kSecAttrService, "io.velmora.macSA"}}));
    EXPECT_EQ(store.options().query(false), (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                                          {kSecAttrSynchronizable, false},
                                                          {kSecAttrService, "io.velmora.macSA"}}));
    EXPECT_EQ(store.synchronizable(true)->options().query(false).at(kSecAttrSynchronizable), Object(true));
}

TEST(OptionsTest, QueryCarriesOnlySearchOptions) {
    auto context = std::make_shared<const LAContext>();
    auto store = Keychain("svc", "group.io.velmora")
                     .label("L")
                     ->comment("C")
                     ->accessibility(Accessibility::always)
                     ->attributes({{kSecAttrGeneric, toData("g")}})
                     ->authenticationUI(AuthenticationUI::skip)
                     ->authenticationPrompt("Unlock")
                     ->authenticationContext(context);
    Object::Dict q = store->options().query(true);
    EXPECT_EQ(q.at(kSecAttrAccessGroup), Object("group.io.velmora"));
    EXPECT_EQ(q.at(kSecUseOperationPrompt), Object("Unlock"));
    EXPECT_EQ(q.at(kSecUseAuthenticationContext).opaque().as<LAContext>(), context.get());
    for (const char* absent : {kSecAttrLabel, kSecAttrComment, kSecAttrAccessible, kSecAttrGeneric,
                               kSecUseAuthenticationUI, kSecAttrServer})
        EXPECT_FALSE(q.count(absent)) << absent;
    EXPECT_EQ(store->authenticationContext(), context);
    EXPECT_EQ(store->authenticationUI(), AuthenticationUI::skip);
    EXPECT_EQ(Keychain("svc").authenticationUI(), AuthenticationUI::allow) << "unset reads as allow";
}

TEST(OptionsTest, InternetQueryTakesHostAndPortFromTheServer) {
    Object::Dict withPort = internet("https://vpn.example.net:8443/x").query(true);
    EXPECT_EQ(withPort, (Object::Dict{{kSecClass, kSecClassInternetPassword},
                                      {kSecAttrSynchronizable, kSecAttrSynchronizableAny},
                                      {kSecAttrServer, "vpn.example.net"},
                                      {kSecAttrPort, 8443},
                                      {kSecAttrProtocol, kSecAttrProtocolHTTPS},
                                      {kSecAttrAuthenticationType, kSecAttrAuthenticationTypeDefault}}));
    EXPECT_FALSE(internet("https://vpn.example.net").query(true).count(kSecAttrPort));
    Object::Dict noHost = internet("file:///etc/hosts").query(true);
    EXPECT_FALSE(noHost.count(kSecAttrServer));
    EXPECT_FALSE(noHost.count(kSecAttrService));
}

TEST(OptionsTest, AttributesForAddAndForUpdate) {
    Options o;
    o.service = "io.velmora.macSA";
    auto [add, addError] = o.itemAttributes("token", toData("secret"));
    EXPECT_FALSE(addError);
    EXPECT_EQ(add, (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                 {kSecAttrSynchronizable, false},
                                 {kSecAttrService, "io.velmora.macSA"},
                                 {kSecAttrAccount, "token"},
                                 {kSecValueData, toData("secret")},
                                 {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock}}));
    auto [update, updateError] = o.itemAttributes(std::nullopt, toData("secret"));
    EXPECT_FALSE(updateError);
    EXPECT_EQ(update, (Object::Dict{{kSecValueData, toData("secret")},
                                    {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock},
                                    {kSecAttrSynchronizable, false}}));

    o.label = "L";
    o.comment = "C";
    o.synchronizable = true;
    o.authenticationPolicy = AuthenticationPolicy::userPresence;
    auto [guarded, error] = o.itemAttributes("k", {});
    EXPECT_FALSE(error);
    EXPECT_EQ(guarded.at(kSecAttrLabel), Object("L"));
    EXPECT_EQ(guarded.at(kSecAttrComment), Object("C"));
    EXPECT_EQ(guarded.at(kSecAttrSynchronizable), Object(true));
    EXPECT_FALSE(guarded.count(kSecAttrAccessible));
    ASSERT_NE(secAccessControl(guarded.at(kSecAttrAccessControl)), nullptr);
    EXPECT_EQ(*secAccessControl(guarded.at(kSecAttrAccessControl)),
              (SecAccessControl{kSecAttrAccessibleAfterFirstUnlock, 1}));
}

TEST(OptionsTest, FailedAccessControlReturnsTheBuiltPartAndTheError) {
    Options o;
    o.service = "svc";
    o.authenticationPolicy = AuthenticationPolicy{AuthenticationPolicy::or_, AuthenticationPolicy::and_};
    auto [attrs, error] = o.itemAttributes("k", toData("v"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kSecAccessControlErrorDomain);
    EXPECT_EQ(error->code, errSecParam);
    EXPECT_EQ(attrs.at(kSecAttrAccount), Object("k"));
    EXPECT_FALSE(attrs.count(kSecAttrAccessControl));
    EXPECT_FALSE(attrs.count(kSecAttrAccessible));
}

TEST(EnumsTest, RawValuesDescriptionsAndConversion) {
    EXPECT_EQ(description(ItemClass::genericPassword), "GenericPassword");
    EXPECT_EQ(description(ItemClass::internetPassword), "InternetPassword");
    EXPECT_EQ(description(AuthenticationUI::allow), "allow");
    EXPECT_STREQ(rawValue(AuthenticationUI::fail), kSecUseAuthenticationUIFail);
    EXPECT_STREQ(rawValue(Accessibility::afterFirstUnlock), kSecAttrAccessibleAfterFirstUnlock);
    EXPECT_EQ(fromRawValue<ProtocolType>(kSecAttrProtocolHTTPS), ProtocolType::https);
    EXPECT_FALSE(fromRawValue<ProtocolType>("kSecAttrProtocolGopher"));
    EXPECT_FALSE(fromRawValue<ProtocolType>(kSecAttrAuthenticationTypeNTLM));

    // Every case's raw value is its constant's prefix plus its description, and converts back to it.
    for (int i = 0; i <= static_cast<int>(ProtocolType::pop3S); ++i) {
        auto p = static_cast<ProtocolType>(i);
        EXPECT_EQ(rawValue(p), "kSecAttrProtocol" + description(p));
        EXPECT_EQ(fromRawValue<ProtocolType>(rawValue(p)), p);
    }
    for (int i = 0; i <= static_cast<int>(AuthenticationType::default_); ++i) {
        auto t = static_cast<AuthenticationType>(i);
        EXPECT_EQ(rawValue(t), "kSecAttrAuthenticationType" + description(t));
        EXPECT_EQ(fromRawValue<AuthenticationType>(rawValue(t)), t);
    }
    for (int i = 0; i <= static_cast<int>(Accessibility::alwaysThisDeviceOnly); ++i) {
        auto a = static_cast<Accessibility>(i);
        EXPECT_EQ(rawValue(a), "kSecAttrAccessible" + description(a));
        EXPECT_EQ(fromRawValue<Accessibility>(rawValue(a)), a);
    }
    EXPECT_EQ(description(ProtocolType::pop3S), "POP3S");
    EXPECT_EQ(description(AuthenticationType::default_), "Default");
}

TEST(AuthenticationPolicyTest, MembersAndSetAlgebra) {
    using P = AuthenticationPolicy;
    EXPECT_EQ(P::touchIDAny, P::biometryAny);
    EXPECT_EQ(P::touchIDCurrentSet, P::biometryCurrentSet);
    EXPECT_EQ(P::applicationPassword.rawValue, 2147483648u);
    EXPECT_EQ(P::privateKeyUsage.rawValue, 1073741824u);
    EXPECT_EQ(P::or_.rawValue, 16384u);
    EXPECT_EQ(P::and_.rawValue, 32768u);

    P set{P::userPresence, P::devicePasscode};
    EXPECT_EQ(set.rawValue, 17u);
    EXPECT_TRUE(set.contains(P::devicePasscode));
    EXPECT_FALSE(set.contains(P::watch));
    EXPECT_TRUE(P(P::userPresence).isSubset(set));
    EXPECT_TRUE(set.isSuperset(P::userPresence));
    EXPECT_FALSE(set.isSubset(P::userPresence));
    EXPECT_EQ(set.unionWith(P::watch).rawValue, 49u);
    EXPECT_EQ(set.intersection(P{P::devicePasscode, P::watch}), P::devicePasscode);
    EXPECT_EQ(set.symmetricDifference(P{P::devicePasscode, P::watch}), (P{P::userPresence, P::watch}));
    EXPECT_TRUE(set.insert(P::watch));
    EXPECT_FALSE(set.insert(P::watch));
    EXPECT_TRUE(set.remove(P::userPresence));
    EXPECT_FALSE(set.remove(P::userPresence));
    EXPECT_FALSE(set.update(P::biometryAny));
    EXPECT_TRUE(set.update(P::biometryAny));
    EXPECT_TRUE(P().isEmpty());
    EXPECT_FALSE(set.isEmpty());
}

} // namespace
