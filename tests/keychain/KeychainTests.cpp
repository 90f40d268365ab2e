// Keychain over the real store in a temporary home: the application path, update-or-add, the
// never-throwing subscripts, listings, and a value crossing from one process to another.
#include "keychain/Keychain.h"
#include "platform/log/OSLog.h"
#include "platform/security/KeychainStore.h"
#include "platform/security/SecItem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace keychain;
using namespace plat;

namespace {

struct Call {
    KeychainOperation op;
    Object::Dict query;
    std::optional<Object::Dict> attributes;
};

class KeychainTest : public ::testing::Test {
protected:
    KeychainTest() {
        KeychainStore::shared().setObserver(
            [this](KeychainOperation op, const Object::Dict& q, const Object::Dict* a) {
                calls.push_back({op, q, a ? std::optional(*a) : std::nullopt});
            });
        setConsoleSink([this](const std::string& line) { console.push_back(line); });
    }
    ~KeychainTest() override {
        KeychainStore::shared().setObserver(nullptr);
        KeychainStore::shared().clearFaults();
        setConsoleSink(nullptr);
    }

    std::vector<KeychainOperation> ops() const {
        std::vector<KeychainOperation> out;
        for (const auto& c : calls)
            out.push_back(c.op);
        return out;
    }

    testsupport::TempHome home;
    Keychain store{"io.velmora.macSA", std::nullopt};
    std::vector<Call> calls;
    std::vector<std::string> console;
};

using Op = KeychainOperation;

TEST_F(KeychainTest, ApplicationPathRoundTrip) {
    EXPECT_EQ(store["token"], std::nullopt);
    EXPECT_EQ(store.get("token"), std::nullopt);
    EXPECT_TRUE(console.empty()) << "a missing key prints nothing";

    store.set("tok-1", "token");
    EXPECT_EQ(store["token"], "tok-1");
    store.set("tok-2", "token");
    EXPECT_EQ(store.get("token"), "tok-2");
    EXPECT_EQ(Keychain("another.service")["token"], std::nullopt) << "services stay apart";

    store.remove("token");
    EXPECT_EQ(store["token"], std::nullopt);
    EXPECT_NO_THROW(store.remove("token")) << "removing a missing item is no error";
    EXPECT_NO_THROW(store.removeAll());
    EXPECT_TRUE(console.empty());
}

TEST_F(KeychainTest, SetAddsANewKeyWithTheStoresAttributes) {
    store.set("secret", "email");
    ASSERT_EQ(ops(), (std::vector<Op>{Op::CopyMatching, Op::Add}));
    EXPECT_EQ(calls[0].query, (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                            {kSecAttrSynchronizable, kSecAttrSynchronizableAny},
                                            {kSecAttrService, "io.velmora.macSA"},
                                            {kSecAttrAccount, "email"},
                                            {kSecReturnData, true},
                                            {kSecUseAuthenticationUI, kSecUseAuthenticationUIFail}}));
    EXPECT_EQ(*calls[1].attributes, (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                                  {kSecAttrSynchronizable, false},
                                                  {kSecAttrService, "io.velmora.macSA"},
                                                  {kSecAttrAccount, "email"},
                                                  {kSecValueData, toData("secret")},
                                                  {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock}}));
    auto attrs = store.subscriptAttributes("email");
    ASSERT_TRUE(attrs);
    EXPECT_EQ(attrs->synchronizable(), false);
    EXPECT_EQ(attrs->accessible(), kSecAttrAccessibleAfterFirstUnlock);
    EXPECT_EQ(attrs->data(), toData("secret"));
    EXPECT_EQ(attrs->account(), "email");
    EXPECT_EQ(attrs->class_(), kSecClassGenericPassword);
    EXPECT_TRUE(attrs->creationDate());
    EXPECT_EQ(attrs->persistentRef()->size(), 21u + std::string("io.velmora.macSA").size());
}

TEST_F(KeychainTest, SetOfAnExistingKeyUpdatesAndNeverAdds) {
    store.set("old", "password");
    calls.clear();
    store.set("new", "password", /*ignoringAttributeSynchronizable=*/false);
    ASSERT_EQ(ops(), (std::vector<Op>{Op::CopyMatching, Op::Update}));
    EXPECT_EQ(calls[0].query.at(kSecAttrSynchronizable), Object(false)) << "the probe uses the caller's flag";
    EXPECT_EQ(calls[1].query, (Object::Dict{{kSecClass, kSecClassGenericPassword},
                                            {kSecAttrSynchronizable, kSecAttrSynchronizableAny},
                                            {kSecAttrService, "io.velmora.macSA"},
                                            {kSecAttrAccount, "password"}}))
        << "the update's match ignores the synchronizable state";
    EXPECT_EQ(*calls[1].attributes, (Object::Dict{{kSecValueData, toData("new")},
                                                  {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock},
                                                  {kSecAttrSynchronizable, false}}));
    EXPECT_EQ(store["password"], "new");
}

TEST_F(KeychainTest, ProbeStatusDecidesBetweenUpdateAddAndFailure) {
    store.set("v1", "uid");

    // Interaction not allowed means the item exists: update it.
    KeychainStore::shared().failNext(errSecInteractionNotAllowed, Op::CopyMatching);
    calls.clear();
    store.set("v2", "uid");
    EXPECT_EQ(ops(), (std::vector<Op>{Op::CopyMatching, Op::Update}));
    EXPECT_EQ(store["uid"], "v2");

    // Any other probe status stops the write.
    KeychainStore::shared().failNext(errSecParam, Op::CopyMatching);
    calls.clear();
    console.clear();
    try {
        store.set("v3", "uid");
        FAIL() << "expected a Status";
    } catch (const Status& s) {
        EXPECT_EQ(s, Status(Status::param));
    }
    EXPECT_EQ(ops(), (std::vector<Op>{Op::CopyMatching}));
    EXPECT_EQ(console,
              (std::vector<std::string>{
                  "OSStatus error:[-50] One or more parameters passed to a function were not valid."}));
    EXPECT_EQ(store["uid"], "v2");

    // A failing add throws its status.
    KeychainStore::shared().failNext(-34018, Op::Add);
    EXPECT_THROW(store.set("x", "fresh"), Status);
    EXPECT_EQ(store["fresh"], std::nullopt);
}

TEST_F(KeychainTest, SubscriptsSwallowFailures) {
    store.setSubscriptString("server", "de1.example.net");
    EXPECT_EQ(store.subscriptString("server"), "de1.example.net");
    KeychainStore::shared().failNext(-36);
    EXPECT_EQ(store["server"], std::nullopt) << "a failed read looks like a missing item";
    KeychainStore::shared().failNext(-36);
    EXPECT_NO_THROW(store.setSubscriptString("server", "x"));
    EXPECT_EQ(store["server"], "de1.example.net");

    store.modifySubscriptString("server", [](std::optional<std::string>& v) { *v += "/2"; });
    EXPECT_EQ(store["server"], "de1.example.net/2");
    store.setSubscriptString("server", std::nullopt);
    EXPECT_EQ(store["server"], std::nullopt);

    store.setSubscriptData("blob", Data{0, 1, 2});
    EXPECT_EQ(store.subscriptData("blob"), (Data{0, 1, 2}));
    EXPECT_FALSE(store.subscriptAttributes("nothing"));
}

TEST_F(KeychainTest, GetWithHandlerSeesTheAttributesOrNone) {
    store.label("Session token")->set("tok", "token");
    auto describe = [](const std::optional<Attributes>& a) {
        return a ? *a->label() + ":" + toString(*a->data()) : std::string("none");
    };
    EXPECT_EQ(store.get("token", true, describe), "Session token:tok");
    EXPECT_EQ(store.get("missing", true, describe), "none");
    KeychainStore::shared().failNext(errSecDecode);
    EXPECT_THROW(store.get("token", true, describe), Status);
}

TEST_F(KeychainTest, BytesThatAreNotUTF8) {
    store.set(Data{0xff, 0xfe, 'a'}, "raw");
    EXPECT_EQ(store["raw"], std::nullopt);
    EXPECT_EQ(console, (std::vector<std::string>{"failed to convert data to string"}));
    console.clear();
    try {
        store.get("raw");
        FAIL() << "expected conversionError";
    } catch (const Status& s) {
        EXPECT_EQ(s, Status(Status::conversionError));
    }
    EXPECT_EQ(console, (std::vector<std::string>{"failed to convert data to string"}));
    EXPECT_EQ(store.getData("raw"), (Data{0xff, 0xfe, 'a'}));

    console.clear();
    EXPECT_THROW(store.set(std::string("\xc3\x28"), "bad"), Status);
    EXPECT_EQ(console, (std::vector<std::string>{"failed to convert string to data"}));
    EXPECT_EQ(store.getData("bad"), std::nullopt) << "nothing was written";
}

TEST_F(KeychainTest, ContainsAndInteraction) {
    EXPECT_FALSE(store.contains("k"));
    store.set("v", "k");
    EXPECT_TRUE(store.contains("k"));
    for (bool without : {true, false}) {
        KeychainStore::shared().failNext(errSecInteractionNotAllowed);
        calls.clear();
        EXPECT_EQ(store.contains("k", without), without);
        EXPECT_EQ(calls[0].query.count(kSecUseAuthenticationUI), without ? 1u : 0u);
    }
    KeychainStore::shared().failNext(errSecDecode);
    EXPECT_THROW(store.contains("k"), Status);
}

TEST_F(KeychainTest, FailedAccessControlStopsTheWrite) {
    auto guarded =
        store.accessibility(Accessibility::whenUnlocked,
                            AuthenticationPolicy{AuthenticationPolicy::or_, AuthenticationPolicy::and_});
    calls.clear();
    try {
        guarded->set("v", "k");
        FAIL() << "expected the platform error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code, errSecParam);
        EXPECT_EQ(console, (std::vector<std::string>{e.localizedDescription()}));
    }
    EXPECT_EQ(ops(), (std::vector<Op>{Op::CopyMatching}));
}

TEST_F(KeychainTest, ListingsAndTextForms) {
    EXPECT_EQ(store.description(), "[]");
    EXPECT_TRUE(store.allKeys().empty());

    store.set("a@example.net", "email");
    store.synchronizable(true)->set("t", "token");
    Keychain("other.service").set("x", "other");
    EXPECT_EQ(store.allKeys(), (std::vector<std::string>{"email", "token"}));
    auto items = store.allItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], (Object::Dict{{"class", "GenericPassword"},
                                      {"service", "io.velmora.macSA"},
                                      {"key", "email"},
                                      {"accessibility", "AfterFirstUnlock"},
                                      {"synchronizable", "false"}}))
        << "listings do not fetch values";
    EXPECT_EQ(items[1].at("synchronizable"), Object("true"));
    std::string text = store.description();
    EXPECT_EQ(text.substr(0, 4), "[\n  ");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(text.find("a@example.net"), std::string::npos) << "no secret in the text form";

    auto keys = Keychain::allKeys(ItemClass::genericPassword);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys,
              (std::vector<std::pair<std::string, std::string>>{
                  {"io.velmora.macSA", "email"}, {"io.velmora.macSA", "token"}, {"other.service", "other"}}));
    EXPECT_EQ(Keychain::allItems(ItemClass::genericPassword).size(), 2u) << "without the synchronizable item";

    store.removeAll();
    EXPECT_TRUE(store.allKeys().empty());
    EXPECT_EQ(Keychain("other.service")["other"], "x");
}

TEST_F(KeychainTest, DamagedStoreReadsAsMissingAndListsAsEmpty) {
    store.set("v", "k");
    testsupport::writeFile(KeychainStore::shared().fileFor(kSecClassGenericPassword, "io.velmora.macSA"),
                           "junk");
    console.clear();
    EXPECT_EQ(store["k"], std::nullopt);
    EXPECT_TRUE(store.allKeys().empty());
    EXPECT_EQ(console,
              (std::vector<std::string>{"OSStatus error:[-26275] Unable to decode the provided data.",
                                        "OSStatus error:[-26275] Unable to decode the provided data."}));
    EXPECT_THROW(store.set("w", "k"), Status);
}

TEST_F(KeychainTest, InternetPasswordStore) {
    Keychain vpn("https://vpn.example.net:500", ProtocolType::ipp);
    vpn.set("radius", "alice");
    EXPECT_EQ(vpn["alice"], "radius");
    EXPECT_EQ(Keychain("https://vpn.example.net:501", ProtocolType::ipp)["alice"], std::nullopt)
        << "port differs";
    EXPECT_EQ(Keychain("https://vpn.example.org:500", ProtocolType::ipp)["alice"], std::nullopt)
        << "host differs";
    EXPECT_EQ(Keychain("https://vpn.example.net:500", ProtocolType::ssh)["alice"], std::nullopt);
    EXPECT_EQ(Keychain("https://vpn.example.net", ProtocolType::ipp)["alice"], "radius")
        << "no port matches any";
    auto items = vpn.allItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].at("server"), Object("vpn.example.net"));
    EXPECT_EQ(items[0].at("protocol"), Object("IPP"));
    EXPECT_EQ(items[0].at("authenticationType"), Object("Default"));
    EXPECT_THROW(Keychain("not a url", ProtocolType::https), Status);
}

// Disabled: the test below runs it by name, in a process of its own.
TEST(KeychainProcessReader, DISABLED_ReadValue) {
    const char* expected = std::getenv("VELMORA_KEYCHAIN_EXPECT");
    if (!expected) GTEST_SKIP() << "runs only as a child of KeychainCrossProcess";
    auto value = Keychain("io.velmora.macSA")["token"];
    ASSERT_EQ(value, std::string(expected));
    // Proof for the parent that this test ran and passed, not merely that the process exited 0.
    testsupport::writeFile(std::filesystem::path(std::getenv("VELMORA_HOME")) / "reader-saw-value", *value);
}

TEST(KeychainCrossProcess, ValueWrittenHereIsReadInAnotherProcess) {
    if (std::getenv("VELMORA_KEYCHAIN_EXPECT")) GTEST_SKIP();
    testsupport::TempHome home;
    Keychain("io.velmora.macSA").set("tok-\xe2\x9c\x93", "token");

    std::string self = "/proc/self/exe", filter = "--gtest_filter=KeychainProcessReader.DISABLED_ReadValue",
                disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back("VELMORA_KEYCHAIN_EXPECT=tok-\xe2\x9c\x93");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader saw another value";
    EXPECT_EQ(testsupport::readFile(home.path() / "reader-saw-value"), "tok-\xe2\x9c\x93");
}

} // namespace
