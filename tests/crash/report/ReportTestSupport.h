// Shared pieces of the report-layer tests: the test bundle (its identifier holds a slash), a private
// home per test, report folders built from record lines, and captured log lines.
#pragma once

#include "platform/log/OSLog.h"
#include "platform/object/Object.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace reporttest {

// The bundle identifier every report test runs under.
inline constexpr const char* kBundleIdentifier = "io.velmora/mac";

// A test with its own $VELMORA_HOME and the crash reporter's log lines captured.
class ReportTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The captured lines, once the logger has written everything queued.
    std::vector<std::string> logLines();
    bool logged(const std::string& fragment);

    // A report folder under the home with the given files (name -> contents).
    std::filesystem::path makeFolder(const std::string& name,
                                     const std::vector<std::pair<std::string, std::string>>& files);
    // A metadata file's three sections as the context writes them.
    static std::string metadata(const std::string& sessionID, uint64_t startedAt,
                                const std::string& platform = "mac", const std::string& buildVersion = "42",
                                const std::string& displayVersion = "1.2.3");

    std::optional<testsupport::TempHome> home_;

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previousSink_;
};

} // namespace reporttest
