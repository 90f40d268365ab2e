// Gives this test binary a main bundle with an identifier before anything reads it: the main
// bundle is fixed on first use, and the login item is named after its identifier.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class TestBundle : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bundle-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        testsupport::writeFile(dir_ / "Info.plist",
                               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<plist version=\"1.0\"><dict>"
                               "<key>CFBundleIdentifier</key><string>io.velmora.mac</string>"
                               "<key>CFBundleName</key><string>Velmora</string>"
                               "</dict></plist>\n");
        setenv("VELMORA_BUNDLE", dir_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::filesystem::path dir_;
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new TestBundle);

} // namespace
