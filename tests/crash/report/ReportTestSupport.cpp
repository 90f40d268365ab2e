#include "tests/crash/report/ReportTestSupport.h"

#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWUserDefaults.h"
#include "utilities/TULLogger.h"

namespace reporttest {

namespace {

::testing::Environment* const bundle = testsupport::addTestBundleEnvironment(
    std::string("<key>CFBundleIdentifier</key><string>") + kBundleIdentifier +
    "</string><key>CFBundleName</key><string>Velmora</string>");

} // namespace

void ReportTest::SetUp() {
    home_.emplace();
    CRWFileManager::resetPreviousCrashCheckForTesting();
    CRWUserDefaults::resetStandardUserDefaultsForTesting();
    TULSetLoggerLevel(TULLoggerLevelDebug);
    plat::OSLog::setDebugEnabled(true);
    previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
        std::lock_guard lock(mutex_);
        lines_.push_back(entry.text);
    });
}

void ReportTest::TearDown() {
    TULLoggerWaitUntilWritten();
    plat::OSLog::setSink(previousSink_);
    CRWUserDefaults::resetStandardUserDefaultsForTesting();
    home_.reset();
}

std::vector<std::string> ReportTest::logLines() {
    TULLoggerWaitUntilWritten();
    std::lock_guard lock(mutex_);
    return lines_;
}

bool ReportTest::logged(const std::string& fragment) {
    for (const std::string& line : logLines())
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

std::filesystem::path ReportTest::makeFolder(const std::string& name,
                                             const std::vector<std::pair<std::string, std::string>>& files) {
    const std::filesystem::path folder = home_->path() / "folders" / name;
    std::filesystem::create_directories(folder);
    for (const auto& [file, contents] : files)
        testsupport::writeFile(folder / file, contents);
    return folder;
}

std::string ReportTest::metadata(const std::string& sessionID, uint64_t startedAt,
                                 const std::string& platform, const std::string& buildVersion,
                                 const std::string& displayVersion) {
    return "{\"identity\":{\"generator\":\"gen\",\"build_version\":\"3.2.0\",\"started_at\":" +
           std::to_string(startedAt) + ",\"session_id\":\"" + sessionID +
           "\",\"app_health_session_id\":\"health-1\",\"org_id\":\"org-7\"}}\n"
           "{\"host\":{\"os_build_version\":\"22A1\",\"os_display_version\":\"12.6\",\"platform\":\"" +
           platform +
           "\"}}\n"
           "{\"application\":{\"bundle_id\":\"io.velmora_mac\",\"build_version\":\"" +
           buildVersion + "\",\"display_version\":\"" + displayVersion + "\"}}\n";
}

} // namespace reporttest
