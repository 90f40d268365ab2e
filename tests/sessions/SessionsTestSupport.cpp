#include "tests/sessions/SessionsTestSupport.h"

#include "core/TSRLogger.h"
#include "platform/foundation/UserDefaults.h"
#include "utilities/TULLogger.h"

#include <thread>

namespace sestest {

namespace {

// Runs `answer` on a thread of its own after `delay` and once `when` (if set) is ready, as a
// service answering from its queue would.
void answerLater(std::chrono::milliseconds delay, std::shared_future<void> when,
                 std::function<void()> answer) {
    std::thread([delay, when = std::move(when), answer = std::move(answer)] {
        std::this_thread::sleep_for(delay);
        if (when.valid()) when.wait();
        answer();
    }).detach();
}

} // namespace

void FakeInstallations::authToken(AuthTokenCompletion completion) const {
    if (neverAnswer) return;
    auto answer = tokenError ? std::nullopt
                             : std::optional<TSRInstallationsAuthTokenResult>(
                                   TSRInstallationsAuthTokenResult(token.value_or(""), plat::Date{2e9}));
    if (!token && !tokenError) answer.reset();
    answerLater(delay, answerWhen, [completion, answer, error = tokenError, given = answersGiven] {
        completion(answer, error);
        ++*given;
    });
}

void FakeInstallations::installationID(IDCompletion completion) const {
    ++idRequests;
    if (neverAnswer) return;
    answerLater(delay, answerWhen,
                [completion, answer = idError ? std::nullopt : id, error = idError, given = answersGiven] {
                    completion(answer, error);
                    ++*given;
                });
}

std::shared_ptr<ApplicationInfo> makeAppInfo(const std::string& appID, const std::string& display,
                                             const std::string& build,
                                             std::map<std::string, std::string> environment) {
    plat::Object::Dict info{{"CFBundleShortVersionString", display}, {"CFBundleVersion", build}};
    return std::make_shared<ApplicationInfo>(appID, std::make_shared<NetworkInfo>(), std::move(environment),
                                             info);
}

void SessionsTest::SetUp() {
    home_.emplace();
    plat::UserDefaults::resetForTesting();
    plat::OSLog::setDebugEnabled(true);
    TSRSetLoggerLevelDebug();
    previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
        std::lock_guard guard(mutex_);
        lines_.push_back(entry.text);
    });
}

void SessionsTest::TearDown() {
    TULLoggerWaitUntilWritten();
    plat::OSLog::setSink(previousSink_);
    plat::OSLog::setDebugEnabled(false);
    plat::UserDefaults::resetForTesting();
    home_.reset();
}

std::vector<std::string> SessionsTest::logLines() {
    TULLoggerWaitUntilWritten();
    std::lock_guard guard(mutex_);
    return lines_;
}

bool SessionsTest::logged(const std::string& text) {
    for (const auto& line : logLines())
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
            return true;
    return false;
}

} // namespace sestest
