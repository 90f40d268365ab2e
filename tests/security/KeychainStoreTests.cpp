// The SecItem calls over the real store in a temporary home: matching, return kinds, references,
// statuses and the fault hook.
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/log/OSLog.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecAccessControl.h"
#include "platform/security/SecItem.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace plat;

namespace {

constexpr OSStatus errSecNotAvailable = -25291;

class KeychainStoreTest : public ::testing::Test {
protected:
    void TearDown() override {
        KeychainStore::shared().clearFaults();
        KeychainStore::shared().setObserver(nullptr);
    }

    static Object::Dict generic(const std::string& service, const std::string& account) {
        return {
            {kSecClass, kSecClassGenericPassword}, {kSecAttrService, service}, {kSecAttrAccount, account}};
    }
    static OSStatus add(const std::string& service, const std::string& account, const std::string& value,
                        std::optional<bool> synchronizable = std::nullopt) {
        auto attrs = generic(service, account);
        attrs[kSecValueData] = toData(value);
        if (synchronizable) attrs[kSecAttrSynchronizable] = *synchronizable;
        return SecItemAdd(attrs, nullptr);
    }
    static Object copy(Object::Dict query, OSStatus expected = errSecSuccess) {
        Object result;
        EXPECT_EQ(SecItemCopyMatching(query, &result), expected);
        return result;
    }

    testsupport::TempHome home_;
};

TEST_F(KeychainStoreTest, ReturnKindsFollowTheReturnKeys) {
    ASSERT_EQ(add("svc", "alice", "one"), errSecSuccess);
    ASSERT_EQ(add("svc", "bob", "two"), errSecSuccess);

    auto q = generic("svc", "alice");
    EXPECT_TRUE(copy(q).isAbsent()) << "no return key leaves the result alone";

    q[kSecReturnData] = true;
    EXPECT_EQ(copy(q), Object(toData("one")));

    auto attrs = generic("svc", "alice");
    attrs[kSecReturnAttributes] = true;
    Object a = copy(attrs);
    ASSERT_TRUE(a.isDict());
    EXPECT_EQ(a[kSecAttrAccount], Object("alice"));
    EXPECT_EQ(a[kSecAttrService], Object("svc"));
    EXPECT_EQ(a[kSecAttrSynchronizable], Object(false));
    EXPECT_EQ(a[kSecAttrAccessible], Object(kSecAttrAccessibleWhenUnlocked));
    EXPECT_TRUE(a[kSecAttrCreationDate].isDate());
    EXPECT_TRUE(a[kSecValueData].isAbsent()) << "data only when asked for";

    attrs[kSecReturnData] = true;
    attrs[kSecReturnRef] = true;
    attrs[kSecReturnPersistentRef] = true;
    Object both = copy(attrs);
    ASSERT_TRUE(both.isDict());
    EXPECT_EQ(both[kSecValueData], Object(toData("one")));
    EXPECT_EQ(both[kSecAttrAccount], Object("alice"));
    EXPECT_EQ(both[kSecValueRef].data().size(), 16u);
    EXPECT_TRUE(both[kSecValuePersistentRef].isData());

    Object::Dict all{{kSecClass, kSecClassGenericPassword},
                     {kSecAttrService, "svc"},
                     {kSecMatchLimit, kSecMatchLimitAll},
                     {kSecReturnData, true}};
    Object list = copy(all);
    ASSERT_TRUE(list.isArray());
    EXPECT_EQ(list.array(), (Object::Array{Object(toData("one")), Object(toData("two"))}));

    all[kSecMatchLimit] = 1;
    EXPECT_TRUE(copy(all).isData()) << "a limit of one gives the value itself";
}

TEST_F(KeychainStoreTest, PersistentReferenceFindsTheItemAgain) {
    auto attrs = generic("svc", "alice");
    attrs[kSecValueData] = toData("one");
    attrs[kSecReturnPersistentRef] = true;
    Object fromAdd;
    ASSERT_EQ(SecItemAdd(attrs, &fromAdd), errSecSuccess);
    ASSERT_EQ(add("svc", "bob", "two"), errSecSuccess);

    auto q = generic("svc", "alice");
    q[kSecReturnPersistentRef] = true;
    Object ref = copy(q);
    EXPECT_EQ(ref, fromAdd) << "the reference is stable";

    // Updating the item keeps its reference.
    ASSERT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecValueData, toData("uno")}}), errSecSuccess);
    Object::Dict byRef{
        {kSecClass, kSecClassGenericPassword}, {kSecValuePersistentRef, ref}, {kSecReturnData, true}};
    EXPECT_EQ(copy(byRef), Object(toData("uno")));

    // Moving the item to another service keeps it too.
    ASSERT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecAttrService, "moved"}}), errSecSuccess);
    EXPECT_EQ(copy(byRef), Object(toData("uno")));

    ASSERT_EQ(SecItemDelete(generic("moved", "alice")), errSecSuccess);
    copy(byRef, errSecItemNotFound);
    byRef[kSecValuePersistentRef] = toData("not a reference");
    copy(byRef, errSecParam);
}

TEST_F(KeychainStoreTest, SynchronizableRule) {
    ASSERT_EQ(add("svc", "local", "L", false), errSecSuccess);
    ASSERT_EQ(add("svc", "synced", "S", true), errSecSuccess);
    // Identity includes the synchronizable state, so both may share an account.
    ASSERT_EQ(add("svc", "local", "L2", true), errSecSuccess);

    struct Case {
        const char* name;
        Object sync;
        std::vector<std::string> values;
    };
    for (const auto& c : std::vector<Case>{{"absent", Object(), {"L"}},
                                           {"false", Object(false), {"L"}},
                                           {"true", Object(true), {"S", "L2"}},
                                           {"any", Object(kSecAttrSynchronizableAny), {"L", "S", "L2"}}}) {
        Object::Dict q{{kSecClass, kSecClassGenericPassword},
                       {kSecAttrService, "svc"},
                       {kSecMatchLimit, kSecMatchLimitAll},
                       {kSecReturnData, true}};
        if (!c.sync.isAbsent()) q[kSecAttrSynchronizable] = c.sync;
        Object result = copy(q);
        std::vector<std::string> got;
        for (const auto& v : result.array())
            got.push_back(toString(v.data()));
        std::sort(got.begin(), got.end());
        auto want = c.values;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.name;
    }
}

TEST_F(KeychainStoreTest, StatusesOfEachCall) {
    EXPECT_EQ(add("svc", "alice", "one"), errSecSuccess);
    EXPECT_EQ(add("svc", "alice", "again"), errSecDuplicateItem);
    EXPECT_EQ(add("other", "alice", "elsewhere"), errSecSuccess) << "service is part of the identity";

    EXPECT_EQ(SecItemCopyMatching(generic("svc", "nobody"), nullptr), errSecItemNotFound);
    EXPECT_EQ(SecItemUpdate(generic("svc", "nobody"), {{kSecValueData, toData("x")}}), errSecItemNotFound);
    EXPECT_EQ(SecItemDelete(generic("svc", "nobody")), errSecItemNotFound);

    struct Bad {
        const char* name;
        Object::Dict query;
    };
    for (const auto& b : std::vector<Bad>{
             {"no class", {{kSecAttrService, "svc"}}},
             {"unknown class", {{kSecClass, "kSecClassCertificate"}}},
             {"unknown key", {{kSecClass, kSecClassGenericPassword}, {"kSecAttrColour", "red"}}},
             {"account not a string", {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, 7}}},
             {"bad limit", {{kSecClass, kSecClassGenericPassword}, {kSecMatchLimit, "some"}}},
             {"bad synchronizable",
              {{kSecClass, kSecClassGenericPassword}, {kSecAttrSynchronizable, "maybe"}}},
         }) {
        EXPECT_EQ(SecItemCopyMatching(b.query, nullptr), errSecParam) << b.name;
        EXPECT_EQ(SecItemDelete(b.query), errSecParam) << b.name;
    }
    auto anySync = generic("svc", "x");
    anySync[kSecAttrSynchronizable] = kSecAttrSynchronizableAny;
    EXPECT_EQ(SecItemAdd(anySync, nullptr), errSecParam) << "an item needs a definite state";
    auto stringData = generic("svc", "x");
    stringData[kSecValueData] = "text, not bytes";
    EXPECT_EQ(SecItemAdd(stringData, nullptr), errSecParam);
    EXPECT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecClass, kSecClassGenericPassword}}), errSecParam);
    EXPECT_EQ(SecItemUpdate(generic("svc", "alice"), {}), errSecParam);
}

// A store file that another user left in the keychain folder while it was open, or a link in
// place of one: its items are not given out, and no call writes over or removes it.
TEST_F(KeychainStoreTest, StoreFilesThatAreNotTheUsersOwnAreNeitherUsedNorReplaced) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants a file of another user
    ASSERT_EQ(add("svc", "alice", "theirs"), errSecSuccess);
    const std::filesystem::path file = KeychainStore::shared().fileFor(kSecClassGenericPassword, "svc");
    const std::string stored = testsupport::readFile(file);
    const std::filesystem::path elsewhere = file.parent_path() / "elsewhere";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { testsupport::plantAsAnotherUser(file, stored, 0600); }, " belongs to another user (uid 4242"},
        {[&] {
             std::filesystem::remove(file);
             testsupport::writeFile(elsewhere, stored);
             std::filesystem::create_symlink(elsewhere, file);
         },
         " is a link"},
    };
    for (const auto& [plant, why] : cases) {
        SCOPED_TRACE(why);
        plant();
        const std::string before = testsupport::fileFacts(file);
        auto alice = generic("svc", "alice");
        alice[kSecReturnData] = true;
        EXPECT_EQ(SecItemCopyMatching(alice, nullptr), errSecIO);
        EXPECT_EQ(add("svc", "bob", "ours"), errSecIO);
        EXPECT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecValueData, toData("ours")}}), errSecIO);
        EXPECT_EQ(SecItemDelete(generic("svc", "alice")), errSecIO);
        EXPECT_EQ(testsupport::fileFacts(file), before);
        const std::string refusal = KeychainStore::shared().refusal().value_or("not refused");
        EXPECT_EQ(refusal.find(file.string() + why), 0u) << refusal;
    }
}

// Another user's link or folder in place of the keychain folder, or a link of theirs in place of its
// lock file, left while data/ was open: nothing is made, written or removed through them.
TEST_F(KeychainStoreTest, AFolderOrLockOfAnotherUserIsNeitherFollowedNorReplaced) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    const std::filesystem::path folder = paths::keychainDir();
    const std::filesystem::path documents = home_.path() / "Documents";
    const std::pair<std::filesystem::path, std::function<void()>> cases[] = {
        {folder, [&] { std::filesystem::create_symlink(documents, folder); }},
        {folder, [&] { std::filesystem::create_directories(folder); }},
        {folder / ".lock",
         [&] {
             std::filesystem::create_directories(folder);
             std::filesystem::create_symlink(documents / "made", folder / ".lock");
         }},
    };
    for (const auto& [planted, plant] : cases) {
        SCOPED_TRACE(planted);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder.parent_path());
        std::filesystem::create_directories(documents);
        plant();
        ASSERT_EQ(::lchown(planted.c_str(), testsupport::kAnotherUser, testsupport::kAnotherUser), 0);
        const std::string before = testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents);
        EXPECT_EQ(add("svc", "alice", "ours"), errSecNotAvailable);
        EXPECT_EQ(SecItemDelete(generic("svc", "alice")), errSecNotAvailable);
        EXPECT_EQ(testsupport::fileFacts(planted) + testsupport::treeSnapshot(documents), before);
        EXPECT_TRUE(std::filesystem::is_empty(documents));
    }
}

// A store file larger than any the store writes is damaged: left as it is, never replaced.
TEST_F(KeychainStoreTest, AStoreFileLargerThanAnyItWritesIsLeftAsDamaged) {
    const std::filesystem::path file = KeychainStore::shared().fileFor(kSecClassGenericPassword, "svc");
    testsupport::writeFile(file, "");
    ASSERT_EQ(::truncate(file.c_str(), off_t{65} << 20), 0);
    const std::string before = testsupport::fileFacts(file);
    EXPECT_EQ(add("svc", "alice", "ours"), errSecDecode);
    EXPECT_EQ(SecItemDelete(generic("svc", "alice")), errSecDecode);
    EXPECT_EQ(std::filesystem::file_size(file), uintmax_t{65} << 20);
    EXPECT_EQ(testsupport::fileFacts(file), before);
}

// For an ordinary user another user's 0600 store file cannot be opened, nor can a socket: either is
// refused as paths::refusalOf refuses it, and never written over or removed.
TEST_F(KeychainStoreTest, AStoreFileOfAnotherUserGetsOneAnswerWhetherOrNotItOpens) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants files of another user
    const std::filesystem::path file = KeychainStore::shared().fileFor(kSecClassGenericPassword, "svc");
    testsupport::forEachUnopenableFileOfAnotherUser(file, [&] {
        const std::string before = testsupport::fileFacts(file);
        const std::string said = testsupport::asOrdinaryUser(home_.path(), [&] {
            std::string logged;
            OSLog::setSink([&](const OSLog::Entry& e) {
                if (e.type == OSLogType::Error && logged.empty()) logged = e.text;
            });
            const std::string statuses = std::to_string(SecItemCopyMatching(generic("svc", "alice"), nullptr)) +
                                         " " + std::to_string(add("svc", "bob", "ours")) + " " +
                                         std::to_string(SecItemDelete(generic("svc", "alice")));
            const std::string refusal = KeychainStore::shared().refusal().value_or("not refused");
            const bool same = refusal == paths::refusalOf(file).value_or("none") &&
                              logged == refusal + "; leaving it untouched";
            return statuses + (same ? "; same: " : "; differs: ") + refusal + " / " + logged;
        });
        const std::string io = std::to_string(errSecIO);
        EXPECT_EQ(said.substr(0, said.find(file.string())), io + " " + io + " " + io + "; same: ") << said;
        EXPECT_EQ(testsupport::fileFacts(file), before);
    });
}

TEST_F(KeychainStoreTest, UpdateIsAllOrNothing) {
    ASSERT_EQ(add("svc", "alice", "one"), errSecSuccess);
    ASSERT_EQ(add("svc", "bob", "two"), errSecSuccess);
    // Renaming bob to alice would make two identical items.
    EXPECT_EQ(SecItemUpdate(generic("svc", "bob"), {{kSecAttrAccount, "alice"}}), errSecDuplicateItem);
    auto q = generic("svc", "bob");
    q[kSecReturnData] = true;
    EXPECT_EQ(copy(q), Object(toData("two")));

    // An update that changes the service moves the item to that service.
    ASSERT_EQ(SecItemUpdate(generic("svc", "bob"), {{kSecAttrService, "moved"}}), errSecSuccess);
    copy(generic("svc", "bob"), errSecItemNotFound);
    q[kSecAttrService] = "moved";
    EXPECT_EQ(copy(q), Object(toData("two")));

    // Delete without an account removes every match.
    Object::Dict wholeService{{kSecClass, kSecClassGenericPassword}, {kSecAttrService, "svc"}};
    ASSERT_EQ(add("svc", "carol", "three"), errSecSuccess);
    EXPECT_EQ(SecItemDelete(wholeService), errSecSuccess);
    EXPECT_EQ(SecItemCopyMatching(wholeService, nullptr), errSecItemNotFound);
    EXPECT_EQ(copy(q), Object(toData("two")));
}

TEST_F(KeychainStoreTest, InternetPasswordsMatchOnServerAndPort) {
    Object::Dict item{{kSecClass, kSecClassInternetPassword},
                      {kSecAttrServer, "vpn.example.net"},
                      {kSecAttrPort, 443},
                      {kSecAttrProtocol, "kSecAttrProtocolHTTPS"},
                      {kSecAttrAccount, "alice"},
                      {kSecValueData, toData("pw")}};
    ASSERT_EQ(SecItemAdd(item, nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(item, nullptr), errSecDuplicateItem);
    item[kSecAttrPort] = 8443;
    EXPECT_EQ(SecItemAdd(item, nullptr), errSecSuccess) << "the port is part of the identity";

    Object::Dict q{{kSecClass, kSecClassInternetPassword},
                   {kSecAttrServer, "vpn.example.net"},
                   {kSecAttrPort, 443},
                   {kSecReturnAttributes, true}};
    Object found = copy(q);
    EXPECT_EQ(found[kSecAttrPort], Object(443));
    Object::Dict generics{{kSecClass, kSecClassGenericPassword}};
    EXPECT_EQ(SecItemCopyMatching(generics, nullptr), errSecItemNotFound) << "classes stay apart";
}

TEST_F(KeychainStoreTest, KeysMatchOnTagTypeAndClass) {
    auto key = [](const std::string& tag, const char* keyClass, const std::string& bytes) {
        return Object::Dict{{kSecClass, kSecClassKey},
                            {kSecAttrApplicationTag, toData(tag)},
                            {kSecAttrKeyType, kSecAttrKeyTypeRSA},
                            {kSecAttrKeyClass, keyClass},
                            {kSecValueData, toData(bytes)}};
    };
    ASSERT_EQ(SecItemAdd(key("app.tag", kSecAttrKeyClassPublic, "public bytes"), nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(key("app.tag", kSecAttrKeyClassPublic, "other"), nullptr), errSecDuplicateItem);
    ASSERT_EQ(SecItemAdd(key("app.tag", kSecAttrKeyClassPrivate, "private bytes"), nullptr), errSecSuccess)
        << "the key class is part of the identity";

    Object::Dict q{{kSecClass, kSecClassKey},
                   {kSecAttrApplicationTag, toData("app.tag")},
                   {kSecAttrKeyType, kSecAttrKeyTypeRSA},
                   {kSecAttrKeyClass, kSecAttrKeyClassPublic},
                   {kSecReturnData, true}};
    EXPECT_EQ(copy(q), Object(toData("public bytes")));
    q[kSecAttrApplicationTag] = toData("other.tag");
    copy(q, errSecItemNotFound);
    EXPECT_EQ(SecItemCopyMatching(generic("", ""), nullptr), errSecItemNotFound) << "keys are no passwords";

    Object::Dict all{{kSecClass, kSecClassKey}, {kSecAttrApplicationTag, toData("app.tag")}};
    EXPECT_EQ(SecItemDelete(all), errSecSuccess);
    EXPECT_EQ(SecItemDelete(all), errSecItemNotFound);
}

TEST_F(KeychainStoreTest, AccessControlIsStoredAndDecidesAccessibility) {
    std::optional<Error> error;
    Object access = SecAccessControlCreateWithFlags(Object(kSecAttrAccessibleAfterFirstUnlock),
                                                    kSecAccessControlUserPresence, &error);
    ASSERT_FALSE(error);
    auto attrs = generic("svc", "alice");
    attrs[kSecValueData] = toData("pw");
    attrs[kSecAttrAccessControl] = access;
    ASSERT_EQ(SecItemAdd(attrs, nullptr), errSecSuccess);

    auto q = generic("svc", "alice");
    q[kSecReturnAttributes] = true;
    Object found = copy(q);
    ASSERT_NE(secAccessControl(found[kSecAttrAccessControl]), nullptr);
    EXPECT_EQ(*secAccessControl(found[kSecAttrAccessControl]),
              (SecAccessControl{kSecAttrAccessibleAfterFirstUnlock, kSecAccessControlUserPresence}));
    EXPECT_EQ(found[kSecAttrAccessible], Object(kSecAttrAccessibleAfterFirstUnlock));

    // A bare accessibility in an update replaces the access control.
    ASSERT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecAttrAccessible, kSecAttrAccessibleAlways}}),
              errSecSuccess);
    found = copy(q);
    EXPECT_TRUE(found[kSecAttrAccessControl].isAbsent());
    EXPECT_EQ(found[kSecAttrAccessible], Object(kSecAttrAccessibleAlways));

    struct Bad {
        Object protection;
        uint64_t flags;
    };
    for (const auto& b :
         std::vector<Bad>{{Object("kSecAttrAccessibleSometimes"), 0},
                          {Object(), 0},
                          {Object(kSecAttrAccessibleAlways), 1u << 7},
                          {Object(kSecAttrAccessibleAlways), kSecAccessControlOr | kSecAccessControlAnd}}) {
        std::optional<Error> e;
        EXPECT_TRUE(SecAccessControlCreateWithFlags(b.protection, b.flags, &e).isAbsent());
        ASSERT_TRUE(e);
        EXPECT_EQ(e->code, errSecParam);
        EXPECT_EQ(e->domain, kSecAccessControlErrorDomain);
    }
}

TEST_F(KeychainStoreTest, FaultHookAnswersTheNextCallOnly) {
    ASSERT_EQ(add("svc", "alice", "one"), errSecSuccess);
    auto& store = KeychainStore::shared();
    std::vector<KeychainOperation> seen;
    store.setObserver(
        [&](KeychainOperation op, const Object::Dict&, const Object::Dict*) { seen.push_back(op); });

    store.failNext(errSecInteractionNotAllowed, KeychainOperation::Update);
    EXPECT_EQ(SecItemCopyMatching(generic("svc", "alice"), nullptr), errSecSuccess)
        << "fault waits for an update";
    EXPECT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecValueData, toData("x")}}),
              errSecInteractionNotAllowed);
    EXPECT_EQ(SecItemUpdate(generic("svc", "alice"), {{kSecValueData, toData("x")}}), errSecSuccess);

    store.failNext(-34018);
    EXPECT_EQ(SecItemDelete(generic("svc", "alice")), -34018);
    EXPECT_EQ(SecItemCopyMatching(generic("svc", "alice"), nullptr), errSecSuccess)
        << "the faulted delete did nothing";
    EXPECT_EQ(seen, (std::vector<KeychainOperation>{
                        KeychainOperation::CopyMatching, KeychainOperation::Update, KeychainOperation::Update,
                        KeychainOperation::Delete, KeychainOperation::CopyMatching}));
}

TEST_F(KeychainStoreTest, ThreadsWritingAtOnceLoseNothing) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 40; ++i)
                EXPECT_EQ(add("svc", "t" + std::to_string(t) + "-" + std::to_string(i), "v"), errSecSuccess);
        });
    }
    for (auto& th : threads)
        th.join();
    Object::Dict all{{kSecClass, kSecClassGenericPassword},
                     {kSecMatchLimit, kSecMatchLimitAll},
                     {kSecReturnAttributes, true}};
    EXPECT_EQ(copy(all).array().size(), 160u);
}

} // namespace
