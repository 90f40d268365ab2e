// The keychain store of the records and its existence flags; the legacy identity left behind by
// the older library, and its take-over by the default app.
#include "tests/installations/InstallationsTestSupport.h"

#include "core/TSRApp.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecItem.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "utilities/TULKeychainStorage.h"

#include <functional>
#include <unistd.h>

namespace {

using instest::InstallationsTest;

TSRInstallationsItem record(const std::string& tid) {
    TSRInstallationsItem item(instest::kAppID, instest::kAppName);
    item.setTesseraInstallationID(tid);
    item.setRegistrationStatus(TSRInstallationsRegistrationStatusUnregistered);
    return item;
}

class StoreTest : public InstallationsTest {
protected:
    // A store over a storage of its own, as a new process would have (no cached records).
    std::shared_ptr<TSRInstallationsStore> freshStore() {
        return std::make_shared<TSRInstallationsStore>(
            std::make_shared<TULKeychainStorage>(
                TSRInstallationsIDController::keychainServiceWithAppID(instest::kAppID)),
            std::nullopt);
    }
    std::string notFound() {
        return std::string("Installation for appID ") + instest::kAppID + " appName " + instest::kAppName +
               " not found";
    }
};

TEST_F(StoreTest, ARecordNeedsBothItsItemAndItsFlag) {
    auto store = freshStore();
    EXPECT_EQ(reasonOf(errorOf(store->installationForAppID(instest::kAppID, instest::kAppName))), notFound());
    ASSERT_TRUE(valueOf(store->saveInstallation(record("cSaved"))));
    EXPECT_EQ(valueOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName))
                  ->tesseraInstallationID(),
              "cSaved");
    EXPECT_TRUE(valueOf(store->installationExistsForAppID(instest::kAppID, instest::kAppName)));

    // An item whose flag is gone (defaults lost, keychain kept) is never read.
    valueOf(store->setInstallationExists(false, record("").identifier()));
    EXPECT_EQ(reasonOf(errorOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName))),
              notFound());

    valueOf(store->saveInstallation(record("cAgain")));
    valueOf(store->removeInstallationForAppID(instest::kAppID, instest::kAppName));
    EXPECT_EQ(reasonOf(errorOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName))),
              notFound());
}

TEST_F(StoreTest, AFailedKeychainWriteKeepsThePreviousRecord) {
    auto store = freshStore();
    ASSERT_TRUE(valueOf(store->saveInstallation(record("cFirst"))));
    plat::KeychainStore::shared().failNext(plat::errSecInteractionNotAllowed);
    EXPECT_TRUE(errorOf(store->saveInstallation(record("cSecond"))).domain.size() > 0);
    EXPECT_EQ(
        valueOf(store->installationForAppID(instest::kAppID, instest::kAppName))->tesseraInstallationID(),
        "cFirst");
    EXPECT_EQ(valueOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName))
                  ->tesseraInstallationID(),
              "cFirst");
    plat::KeychainStore::shared().clearFaults();
}

TEST_F(StoreTest, ADamagedItemIsReplacedByANewInstallation) {
    auto store = freshStore();
    ASSERT_TRUE(valueOf(store->saveInstallation(record("cDamaged"))));
    plat::Object::Dict query{
        {plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)},
        {plat::kSecAttrService,
         plat::Object(TSRInstallationsIDController::keychainServiceWithAppID(instest::kAppID))},
        {plat::kSecAttrAccount, plat::Object(record("").identifier())}};
    ASSERT_EQ(
        plat::SecItemUpdate(query, {{plat::kSecValueData, plat::Object(plat::toData("not an archive"))}}),
        plat::errSecSuccess);
    EXPECT_FALSE(
        errorOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName)).domain.empty());

    auto controller = makeController();
    const std::string tid = valueOf(controller->getInstallationItem())->tesseraInstallationID();
    EXPECT_NE(tid, "cDamaged");
    EXPECT_EQ(valueOf(freshStore()->installationForAppID(instest::kAppID, instest::kAppName))
                  ->tesseraInstallationID(),
              tid);
}

// The older library's leftovers: the marker list, the key pair and the token item.
class LegacyIdentityTest : public InstallationsTest {
protected:
    void writeMarker() {
        const auto path = TSRInstallationsIIDStore::keyPairPlistPath();
        plat::paths::ensureDirectory(path.parent_path());
        plat::Object plist = plat::Object::Dict{{kTSRInstallationsIIDKeyPairMarker, plat::Object(true)},
                                                {"other", plat::Object("kept")}};
        ASSERT_TRUE(plat::paths::writeFileAtomically(path, *plat::PropertyList::toBinary(plist)));
    }
    void addKey(const char* prefix, const char* keyClass, const std::string& bytes) {
        ASSERT_EQ(plat::SecItemAdd({{plat::kSecClass, plat::Object(plat::kSecClassKey)},
                                    {plat::kSecAttrApplicationTag,
                                     plat::Object(plat::toData(TSRInstallationsIIDStore::keyTag(prefix)))},
                                    {plat::kSecAttrKeyType, plat::Object(plat::kSecAttrKeyTypeRSA)},
                                    {plat::kSecAttrKeyClass, plat::Object(keyClass)},
                                    {plat::kSecValueData, plat::Object(plat::toData(bytes))}},
                                   nullptr),
                  plat::errSecSuccess);
    }
    struct TokenInfo final : plat::SecureCoding {
        std::string token;
        std::string className() const override { return TSRInstallationsIIDTokenInfo::kLegacyClassName; }
        void encodeWithCoder(plat::KeyedArchiver& coder) const override {
            coder.encodeObject(plat::Object(token), "token");
        }
    };
    void addTokenItem(const std::string& token) {
        TokenInfo info;
        info.token = token;
        ASSERT_EQ(
            plat::SecItemAdd({{plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)},
                              {plat::kSecAttrGeneric, plat::Object(plat::toData("com.tessera.iid-tokens"))},
                              {plat::kSecAttrAccount, plat::Object("io.velmora.mac")},
                              {plat::kSecAttrService, plat::Object("111122223333:*")},
                              {plat::kSecValueData,
                               plat::Object(*plat::KeyedArchiver::archivedDataWithRootObject(info, true))}},
                             nullptr),
            plat::errSecSuccess);
    }
    TSRInstallationsIIDStore IIDStore_;
    TSRInstallationsIIDTokenStore tokenStore_{"111122223333"};
};

TEST_F(LegacyIdentityTest, TheIdentifierComesFromThePublicKeyOnlyWhenThereIsOne) {
    errorOf(IIDStore_.existingIID()); // no marker list
    writeMarker();
    errorOf(IIDStore_.existingIID()); // a marker without a key is no identity
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "");
    errorOf(IIDStore_.existingIID()); // nor is an empty key
    plat::SecItemDelete({{plat::kSecClass, plat::Object(plat::kSecClassKey)}});
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "public key bytes");
    const std::string iid = *valueOf(IIDStore_.existingIID());
    EXPECT_EQ(iid.size(), 11u);
    EXPECT_NE(std::string("cdef").find(iid[0]), std::string::npos) << iid;
    EXPECT_EQ(iid, TSRInstallationsIIDStore::IIDWithPublicKeyData("public key bytes"));
    EXPECT_NE(iid, TSRInstallationsIIDStore::IIDWithPublicKeyData("other key bytes"));
}

TEST_F(LegacyIdentityTest, TheTokenMustBeThereAndNotEmpty) {
    const std::string corrupted =
        "IID token data stored in Keychain is corrupted or in an incompatible format.";
    EXPECT_EQ(reasonOf(errorOf(tokenStore_.existingIIDDefaultToken())), corrupted);
    addTokenItem("");
    EXPECT_EQ(reasonOf(errorOf(tokenStore_.existingIIDDefaultToken())), corrupted);
    plat::SecItemDelete({{plat::kSecClass, plat::Object(plat::kSecClassGenericPassword)}});
    addTokenItem("legacy-default-token");
    EXPECT_EQ(valueOf(tokenStore_.existingIIDDefaultToken()), "legacy-default-token");
}

TEST_F(LegacyIdentityTest, TheDefaultAppTakesTheIdentityOverOnceAndDeletesItWithTheInstallation) {
    EXPECT_TRUE(valueOf(IIDStore_.deleteExistingIID())) << "nothing to delete is no failure";
    writeMarker();
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "public key bytes");
    addKey(kTSRInstallationsIIDPrivateKeyTagPrefix, plat::kSecAttrKeyClassPrivate, "private key bytes");
    addTokenItem("legacy-default-token");

    auto controller = makeController(kTSRDefaultAppName);
    const TSRInstallationsItem registered = *valueOf(controller->getAuthTokenForcingRefresh(false));
    EXPECT_EQ(registered.tesseraInstallationID(),
              TSRInstallationsIIDStore::IIDWithPublicKeyData("public key bytes"));
    auto registration = requests("POST", "/installations/").at(0);
    bool migrated = false;
    for (const auto& [name, value] : registration.headers)
        migrated =
            migrated || (name == "x-tessera-ins-ios-iid-migration-auth" && value == "legacy-default-token");
    EXPECT_TRUE(migrated);
    EXPECT_EQ(registered.IIDDefaultToken(), "");

    ASSERT_TRUE(valueOf(controller->deleteInstallation()));
    errorOf(IIDStore_.existingIID());
    const plat::Object plist =
        plat::PropertyList::fromBytes(*plat::paths::readFile(TSRInstallationsIIDStore::keyPairPlistPath()));
    EXPECT_EQ(plist, plat::Object(plat::Object::Dict{{"other", plat::Object("kept")}}));
    EXPECT_EQ(plat::SecItemCopyMatching({{plat::kSecClass, plat::Object(plat::kSecClassKey)}}, nullptr),
              plat::errSecItemNotFound);

    // A key the keychain refuses to delete fails the deletion with a keychain error.
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "public key bytes");
    plat::KeychainStore::shared().failNext(plat::errSecInteractionNotAllowed,
                                           plat::KeychainOperation::Delete);
    const plat::Error error = errorOf(IIDStore_.deleteExistingIID());
    plat::KeychainStore::shared().clearFaults();
    EXPECT_EQ(error.code, TSRInstallationsErrorCodeKeychain);
    EXPECT_EQ(reasonOf(error), "SecItemDelete (-25308)");
}

// Another user's link or folder in place of the legacy identity's folder, left while data/ was
// open: neither it nor what it leads to is read as an identity, rewritten or removed, and the keys
// stay.
TEST_F(LegacyIdentityTest, AFolderOfAnotherUserIsNeitherTakenOverNorRewritten) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    const auto folder = TSRInstallationsIIDStore::keyPairPlistPath().parent_path();
    const auto documents = plat::paths::applicationSupportDir().parent_path() / "Documents";
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "public key bytes");
    const std::function<void()> plants[] = {
        [&] { std::filesystem::create_symlink(documents, folder); },
        [&] { writeMarker(); },
    };
    for (const auto& plant : plants) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder.parent_path());
        testsupport::writeFile(documents / folder.filename() / "com.tessera.iid-keypair.plist", "x");
        testsupport::writeFile(documents / "com.tessera.iid-keypair.plist",
                               *plat::PropertyList::toBinary(plat::Object::Dict{
                                   {kTSRInstallationsIIDKeyPairMarker, plat::Object(true)}}));
        plant();
        ASSERT_EQ(::lchown(folder.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
        const std::string before = testsupport::fileFacts(folder) + testsupport::treeSnapshot(documents) +
                                   testsupport::treeSnapshot(folder);
        errorOf(IIDStore_.existingIID());
        errorOf(IIDStore_.deleteExistingIID());
        EXPECT_EQ(testsupport::fileFacts(folder) + testsupport::treeSnapshot(documents) +
                      testsupport::treeSnapshot(folder),
                  before);
        EXPECT_EQ(plat::SecItemCopyMatching({{plat::kSecClass, plat::Object(plat::kSecClassKey)}}, nullptr),
                  plat::errSecSuccess);
    }
}

// The identity file itself another user's, one the user could open (0600 for root) or none could
// (a socket): the same refusal either way, and the keys stay.
TEST_F(LegacyIdentityTest, AnIdentityFileOfAnotherUserGetsOneAnswerWhetherOrNotItOpens) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const auto file = TSRInstallationsIIDStore::keyPairPlistPath();
    addKey(kTSRInstallationsIIDPublicKeyTagPrefix, plat::kSecAttrKeyClassPublic, "public key bytes");
    testsupport::forEachUnopenableFileOfAnotherUser(file, [&] {
        const std::string before = testsupport::fileFacts(file);
        EXPECT_EQ(reasonOf(errorOf(IIDStore_.deleteExistingIID())), plat::paths::refusalOf(file).value_or("none"));
        EXPECT_EQ(testsupport::fileFacts(file), before);
        EXPECT_EQ(plat::SecItemCopyMatching({{plat::kSecClass, plat::Object(plat::kSecClassKey)}}, nullptr),
                  plat::errSecSuccess);
    });
}

} // namespace
