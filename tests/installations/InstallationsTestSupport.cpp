#include "tests/installations/InstallationsTestSupport.h"

#include "installations/TSRInstallationsErrorUtil.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLSession.h"
#include "promises/TPRPromiseFunctions.h"
#include "utilities/TULKeychainStorage.h"
#include "utilities/TULLogger.h"

#include <cstdlib>

namespace instest {

void InstallationsTest::SetUp() {
    home_.emplace();
    plat::UserDefaults::resetForTesting();
    const int port = server_.start(0);
    setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
    previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
        std::lock_guard guard(mutex_);
        lines_.push_back(entry.text);
    });
}

void InstallationsTest::TearDown() {
    drain();
    server_.stop();
    TULLoggerWaitUntilWritten();
    plat::OSLog::setSink(previousSink_);
    setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
    plat::UserDefaults::resetForTesting();
    home_.reset();
}

void InstallationsTest::drain() {
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(10)) << "promise work still running";
}

std::shared_ptr<TSRInstallationsAPIService> InstallationsTest::makeAPIService() {
    return std::make_shared<TSRInstallationsAPIService>(
        std::make_shared<plat::URLSession>(plat::DispatchQueue::serial("test.installations.session")),
        kAPIKey, kProjectID, nullptr, scheduler_);
}

std::shared_ptr<TSRInstallationsIDController> InstallationsTest::makeController(const std::string& appName) {
    auto storage =
        std::make_shared<TULKeychainStorage>(TSRInstallationsIDController::keychainServiceWithAppID(kAppID));
    plat::ManualClock& clock = scheduler_.manualClock();
    return TSRInstallationsIDController::make(kAppID, appName,
                                              std::make_shared<TSRInstallationsStore>(storage, std::nullopt),
                                              makeAPIService(), std::make_shared<TSRInstallationsIIDStore>(),
                                              std::make_shared<TSRInstallationsIIDTokenStore>("111122223333"),
                                              std::make_shared<TSRInstallationsBackoffController>(
                                                  [&clock] { return clock.wallNow(); }, [] { return 0; }));
}

std::string InstallationsTest::reasonOf(const plat::Error& error) {
    return TSRInstallationsErrorUtil::failureReason(error);
}

std::vector<standin::RequestLogEntry> InstallationsTest::requests(const std::string& method,
                                                                  const std::string& suffix) {
    std::vector<standin::RequestLogEntry> found;
    for (const auto& entry : server_.requests())
        if (entry.method == method && entry.path.rfind("/v1/", 0) == 0 &&
            entry.path.size() >= suffix.size() &&
            entry.path.compare(entry.path.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(entry);
    return found;
}

std::vector<std::string> InstallationsTest::logLines() {
    TULLoggerWaitUntilWritten();
    std::lock_guard guard(mutex_);
    return lines_;
}

} // namespace instest
