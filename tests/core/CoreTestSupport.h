// The fixture shared by the app-core tests: a private data root, a fixture bundle as the main
// bundle, the app core's process-wide state reset around each test, and the log lines captured.
#pragma once

#include "platform/log/OSLog.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace coretest {

// The source tree (from $VELMORA_SOURCE_DIR, else the working folder).
std::filesystem::path sourceRoot();
// tests/core/fixtures/<name>.
std::filesystem::path fixturePath(const std::string& name);

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes tests/core/fixtures/<name> the main bundle.
    void useBundle(const std::string& name);
    // Every line written so far (waits for the logger's queue).
    std::vector<plat::OSLog::Entry> logLines();
    // The lines that carry `code` ("[I-COR000009]").
    std::vector<std::string> linesWithCode(const std::string& code);

    std::optional<testsupport::TempHome> home_;

private:
    std::mutex mutex_;
    std::vector<plat::OSLog::Entry> entries_;
    plat::OSLog::Sink previousSink_;
    std::vector<std::string> previousArguments_;
};

} // namespace coretest
