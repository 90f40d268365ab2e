#include "tests/core/CoreTestSupport.h"

#include "core/TSRApp.h"
#include "core/TSRBundleUtil.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRLogger.h"
#include "core/TSROptions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"

#include <cstdlib>

namespace coretest {

namespace {

void resetCore() {
    TSRApp::resetForTesting();
    TSROptions::resetDefaultOptions();
    TSRComponentContainer::resetRegistrantsForTesting();
    TSRClassRegistry::shared().resetForTesting();
    TSRLoggerResetForTesting();
    TSRBundleUtil::setMainBundleForTesting(nullptr);
}

} // namespace

std::filesystem::path sourceRoot() {
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    return source ? source : ".";
}

std::filesystem::path fixturePath(const std::string& name) {
    return sourceRoot() / "tests" / "core" / "fixtures" / name;
}

void CoreTest::SetUp() {
    home_.emplace();
    plat::UserDefaults::resetForTesting();
    previousArguments_ = plat::ProcessInfo::processInfo().arguments();
    plat::ProcessInfo::processInfo().setArguments({"velmora"});
    resetCore();
    previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
        std::lock_guard guard(mutex_);
        entries_.push_back(entry);
    });
}

void CoreTest::TearDown() {
    TULLoggerWaitUntilWritten();
    plat::OSLog::setSink(previousSink_);
    resetCore();
    plat::ProcessInfo::processInfo().setArguments(previousArguments_);
    plat::UserDefaults::resetForTesting();
    home_.reset();
}

void CoreTest::useBundle(const std::string& name) {
    TSRBundleUtil::setMainBundleForTesting(std::make_shared<plat::Bundle>(fixturePath(name)));
}

std::vector<plat::OSLog::Entry> CoreTest::logLines() {
    TULLoggerWaitUntilWritten();
    std::lock_guard guard(mutex_);
    return entries_;
}

std::vector<std::string> CoreTest::linesWithCode(const std::string& code) {
    std::vector<std::string> lines;
    for (const auto& entry : logLines())
        if (entry.text.find("[" + code + "]") != std::string::npos) lines.push_back(entry.text);
    return lines;
}

} // namespace coretest
