// Test parts for the session component: installations and a settings download whose answers a test
// chooses, application facts from a given Info dictionary, and a fixture with a private data root,
// the sessions log captured and debug logging on.
#pragma once

#include "sessions/ApplicationInfo.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/SettingsDownloadClient.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaitFor.h"

#include "platform/log/OSLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sestest {

inline constexpr const char* kAppID = "1:111122223333:ios:f00dcafe12345678";

// Installations whose answers come from a background thread after `delay`, or never. The waiting
// form waits for them `waitTime` seconds: the suite's patience unless a test shortens it to see the
// time-out, so that a crowded machine, which may start the answering thread late, never turns an
// answer into a time-out.
class FakeInstallations : public InstallationsProtocol {
public:
    std::optional<std::string> id = "fake-installation-id";
    std::optional<plat::Error> idError;
    std::optional<std::string> token = "fake-auth-token";
    std::optional<plat::Error> tokenError;
    std::chrono::milliseconds delay{0};
    // When set, the answers wait for it besides `delay`: a test lets them go once it saw the wait.
    std::shared_future<void> answerWhen;
    bool neverAnswer = false;
    int waitTime = static_cast<int>(testsupport::kPatience.count());
    mutable std::atomic<int> idRequests{0};
    // Answers handed over so far (token and id each count), kept beyond the fake's own life.
    std::shared_ptr<std::atomic<int>> answersGiven = std::make_shared<std::atomic<int>>(0);

    int installationsWaitTimeInSecond() const override { return waitTime; }
    void authToken(AuthTokenCompletion completion) const override;
    void installationID(IDCompletion completion) const override;
    using InstallationsProtocol::installationID;
};

// A download that answers at once with `result`, counting its fetches.
class FakeDownloader : public SettingsDownloadClient {
public:
    SettingsFetchResult result = plat::Object::Dict();
    std::atomic<int> fetches{0};
    void fetch(std::function<void(SettingsFetchResult)> completion) override {
        ++fetches;
        completion(result);
    }
};

// Facts of an application whose Info dictionary holds `display` and `build` as its versions.
std::shared_ptr<ApplicationInfo> makeAppInfo(const std::string& appID = kAppID,
                                             const std::string& display = "1.0.0",
                                             const std::string& build = "1",
                                             std::map<std::string, std::string> environment = {});

class SessionsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The captured log lines so far, after the logger has written everything queued.
    std::vector<std::string> logLines();
    // Whether a captured line ends with `text`.
    bool logged(const std::string& text);

    std::optional<testsupport::TempHome> home_;

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previousSink_;
};

} // namespace sestest
