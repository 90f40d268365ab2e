// Two processes writing the same store at once. The test binary runs itself twice as writers: the
// helper test below acts only when VELMORA_KEYCHAIN_WRITER names the writer.
#include "platform/security/SecItem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace plat;

namespace {

constexpr int kItemsPerWriter = 500;
constexpr const char* kService = "io.velmora.macSA";

// Disabled: the test below runs it by name, in processes of their own.
TEST(KeychainProcessHelper, DISABLED_WriteItems) {
    const char* writer = std::getenv("VELMORA_KEYCHAIN_WRITER");
    if (!writer) GTEST_SKIP() << "runs only as a child of KeychainProcessTest";
    for (int i = 0; i < kItemsPerWriter; ++i) {
        std::string account = std::string(writer) + "-" + std::to_string(i);
        ASSERT_EQ(SecItemAdd({{kSecClass, kSecClassGenericPassword},
                              {kSecAttrService, kService},
                              {kSecAttrAccount, account},
                              {kSecValueData, toData("value of " + account)}},
                             nullptr),
                  errSecSuccess)
            << account;
    }
}

pid_t spawnWriter(const std::string& name) {
    std::string filter = "--gtest_filter=KeychainProcessHelper.DISABLED_WriteItems";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back("VELMORA_KEYCHAIN_WRITER=" + name);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    return pid;
}

TEST(KeychainProcessTest, TwoProcessesWritingAtOnceLoseNothing) {
    if (std::getenv("VELMORA_KEYCHAIN_WRITER")) GTEST_SKIP();
    testsupport::TempHome home; // the children inherit $VELMORA_HOME
    pid_t a = spawnWriter("a");
    pid_t b = spawnWriter("b");
    for (pid_t pid : {a, b}) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer failed, status " << status;
    }

    Object result;
    ASSERT_EQ(SecItemCopyMatching({{kSecClass, kSecClassGenericPassword},
                                   {kSecAttrService, kService},
                                   {kSecMatchLimit, kSecMatchLimitAll},
                                   {kSecReturnAttributes, true},
                                   {kSecReturnData, true}},
                                  &result),
              errSecSuccess);
    std::set<std::string> accounts;
    for (const auto& item : result.array()) {
        const std::string& account = item[kSecAttrAccount].string();
        EXPECT_EQ(item[kSecValueData], Object(toData("value of " + account)));
        accounts.insert(account);
    }
    EXPECT_EQ(result.array().size(), 2u * kItemsPerWriter);
    EXPECT_EQ(accounts.size(), 2u * kItemsPerWriter);
    EXPECT_TRUE(accounts.count("a-0") && accounts.count("b-499"));
}

} // namespace
