// The installation across real process restarts: each run of the developer tool is a launch with
// the same data folder, against the stand-in in this process.
#include "tests/installations/InstallationsTestSupport.h"

#include <regex>

namespace {

class RestartTest : public instest::InstallationsTest {
protected:
    // Runs one launch; returns its output, with the exit status in `status`.
    std::string launch(const std::string& command, int* status) {
        const std::string line = "VELMORA_HOME='" + home_->path().string() +
                                 "' VELMORA_TESSERA_BASE=http://127.0.0.1:" + std::to_string(server_.port()) +
                                 " '" + VELMORA_INSTALLATIONS_TOOL + "' " + command + " 2>&1";
        return testsupport::runCommand(line, status);
    }
    static std::string identifier(const std::string& output) {
        std::smatch match;
        return std::regex_search(output, match, std::regex("installation id: (\\S+)")) ? match[1].str() : "";
    }
};

TEST_F(RestartTest, IdentifierAndTokensSurviveARestartAndDeletionEndsThem) {
    int status = -1;
    const std::string first = launch("id", &status);
    ASSERT_EQ(status, 0) << first;
    const std::string tid = identifier(first);
    ASSERT_FALSE(tid.empty()) << first;
    ASSERT_EQ(requests("POST", "/installations/").size(), 1u);

    // The next launch reads identifier, refresh token and auth token back: nothing is sent.
    server_.clearRequests();
    const std::string second = launch("id", &status);
    ASSERT_EQ(status, 0) << second;
    EXPECT_EQ(identifier(second), tid);
    EXPECT_TRUE(server_.requests().empty());

    // A forced refresh in a third launch authorises itself with the stored refresh token.
    const std::string refreshed = launch("refresh", &status);
    ASSERT_EQ(status, 0) << refreshed;
    ASSERT_EQ(requests("POST", "/tokens").size(), 1u);

    const std::string deleted = launch("delete", &status);
    ASSERT_EQ(status, 0) << deleted;
    EXPECT_EQ(requests("DELETE").size(), 1u);
    EXPECT_FALSE(server_.installations().find("velmora-desktop", tid));
    const std::string after = launch("id", &status);
    ASSERT_EQ(status, 0) << after;
    EXPECT_NE(identifier(after), tid);

    // A failure reaches the exit status with its reason.
    server_.installations().setFault(standin::InstallationRegistry::Operation::Token,
                                     *standin::InstallationFault::named("403"));
    const std::string refused = launch("refresh", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(refused.find("HTTP status code: 403"), std::string::npos) << refused;
}

} // namespace
