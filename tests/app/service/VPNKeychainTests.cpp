#include "app/classes/Preferences.h"
#include "app/classes/VPNKeychain.h"
#include "platform/object/Error.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecItem.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

using servicetest::ServiceEnvironment;

namespace {

// Counts the keychain calls of one kind while it lives.
class OperationCounter {
public:
    OperationCounter() {
        plat::KeychainStore::shared().setObserver(
            [this](plat::KeychainOperation op, const plat::Object::Dict&, const plat::Object::Dict*) {
                if (op == plat::KeychainOperation::Update) ++updates;
                if (op == plat::KeychainOperation::Add) ++adds;
            });
    }
    ~OperationCounter() { plat::KeychainStore::shared().setObserver(nullptr); }
    int updates = 0;
    int adds = 0;
};

plat::Error thrownBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const plat::Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error thrown";
    return {};
}

const std::string service = Preferences::keychainGroupName;

} // namespace

TEST(VPNKeychain, AddsFindsAndUpdatesTheSameItem) {
    ServiceEnvironment env;
    OperationCounter counter;

    plat::Data added = VPNKeychain::persistentReferenceFor(service, "vpnPassword", plat::toData("radius-1"));
    EXPECT_FALSE(added.empty());
    EXPECT_EQ(counter.adds, 1);
    EXPECT_EQ(Preferences::vpnPassword(), "radius-1"); // the same item the preferences see

    plat::Data same = VPNKeychain::persistentReferenceFor(service, "vpnPassword", plat::toData("radius-1"));
    EXPECT_EQ(same, added);
    EXPECT_EQ(counter.updates, 0);

    plat::Data changed =
        VPNKeychain::persistentReferenceFor(service, "vpnPassword", plat::toData("radius-2"));
    EXPECT_EQ(changed, added);
    EXPECT_EQ(counter.updates, 1);
    EXPECT_EQ(Preferences::vpnPassword(), "radius-2");
}

TEST(VPNKeychain, ItemWrittenThroughPreferencesIsReusedAsItIs) {
    ServiceEnvironment env;
    Preferences::setVpnPassword("radius-pw");
    OperationCounter counter;
    plat::Data reference =
        VPNKeychain::persistentReferenceFor(service, "vpnPassword", plat::toData("radius-pw"));
    EXPECT_FALSE(reference.empty());
    EXPECT_EQ(counter.adds + counter.updates, 0);
}

TEST(VPNKeychain, KeychainFailuresSurfaceAsTheirStatus) {
    ServiceEnvironment env;
    auto& store = plat::KeychainStore::shared();

    store.failNext(plat::errSecInteractionNotAllowed, plat::KeychainOperation::CopyMatching);
    plat::Error locked = thrownBy([] { VPNKeychain::persistentReferenceFor(service, "vpnPassword", {1}); });
    EXPECT_EQ(locked.domain, "NSOSStatusErrorDomain");
    EXPECT_EQ(locked.code, plat::errSecInteractionNotAllowed);

    store.failNext(plat::errSecDuplicateItem, plat::KeychainOperation::Add);
    EXPECT_EQ(thrownBy([] { VPNKeychain::persistentReferenceFor(service, "vpnPassword", {1}); }).code,
              plat::errSecDuplicateItem);

    VPNKeychain::persistentReferenceFor(service, "vpnPassword", {1});
    store.failNext(plat::errSecIO, plat::KeychainOperation::Update);
    EXPECT_EQ(thrownBy([] { VPNKeychain::persistentReferenceFor(service, "vpnPassword", {2}); }).code,
              plat::errSecIO);
}

TEST(VPNKeychain, ReplyWithoutReferenceOrDataIsAnErrorNotACrash) {
    ServiceEnvironment env;
    plat::Object noReference = plat::Object::Dict{{plat::kSecValueData, plat::Data{1}}};
    plat::Object noData = plat::Object::Dict{{plat::kSecValuePersistentRef, plat::Data{9}}};
    plat::Object notADictionary = plat::Data{9};
    for (const plat::Object& reply : {noReference, noData, notADictionary}) {
        plat::Error error = thrownBy([&] {
            VPNKeychain::persistentReferenceByUpdating(reply, service, "vpnPassword", plat::Data{1});
        });
        EXPECT_EQ(error.domain, "NSOSStatusErrorDomain");
        EXPECT_EQ(error.code, plat::errSecDecode);
    }
}
