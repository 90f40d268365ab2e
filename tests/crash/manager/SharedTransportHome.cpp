// The event transport's shared storage is made once a process, under the data root of the first
// test that logs an event, and every later test's events go there too: once that test had removed
// its data root, the storage made the folders again in the temporary folder, where they stayed.
// Here the shared storage gets a data root of its own, made before the first test and removed after
// the last, once the storage has written everything it was given.
#include "transport/TTRFlatFileStorage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

class SharedTransportHome : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        std::optional<std::string> previous;
        if (const char* home = std::getenv("VELMORA_HOME")) previous = home;
        setenv("VELMORA_HOME", root_.c_str(), 1);
        TTRFlatFileStorage::sharedInstance()->storageQueue().sync([] {});
        if (previous)
            setenv("VELMORA_HOME", previous->c_str(), 1);
        else
            unsetenv("VELMORA_HOME");
    }
    void TearDown() override {
        TTRFlatFileStorage::sharedInstance()->storageQueue().sync([] {});
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

private:
    std::filesystem::path root_;
};

[[maybe_unused]] ::testing::Environment* const sharedTransportHome =
    ::testing::AddGlobalTestEnvironment(new SharedTransportHome);

} // namespace
