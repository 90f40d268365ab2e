// The one address override of the app core's remote services.
#include "tests/core/CoreTestSupport.h"

#include "core/TSRTesseraBase.h"

#include <cstdlib>

namespace {

class TesseraBaseTest : public coretest::CoreTest {
protected:
    void TearDown() override {
        setenv(kTSRTesseraBaseEnvironmentVariable, saved_.c_str(), 1);
        CoreTest::TearDown();
    }
    std::string saved_ = std::getenv(kTSRTesseraBaseEnvironmentVariable)
                             ? std::getenv(kTSRTesseraBaseEnvironmentVariable)
                             : "";
};

TEST_F(TesseraBaseTest, TheOverrideReplacesOriginOnlyAndBadOnesAreIgnored) {
    const std::string builtIn = "https://installations.tessera.example/v1/x?y=1";
    unsetenv(kTSRTesseraBaseEnvironmentVariable);
    EXPECT_EQ(TSRTesseraURL(builtIn), builtIn);

    setenv(kTSRTesseraBaseEnvironmentVariable, "http://127.0.0.1:4321", 1);
    EXPECT_EQ(TSRTesseraURL(builtIn), "http://127.0.0.1:4321/v1/x?y=1");
    EXPECT_EQ(TSRTesseraURL("https://settings.tessera.example"), "http://127.0.0.1:4321");
    setenv(kTSRTesseraBaseEnvironmentVariable, "http://[::1]:80/", 1);
    EXPECT_EQ(TSRTesseraURL(builtIn), "http://[::1]:80/v1/x?y=1");

    for (const char* bad :
         {"127.0.0.1:4321", "ftp://127.0.0.1", "http://127.0.0.1/api/", "http://127.0.0.1?x",
          "http://user@127.0.0.1", "http://127.0.0.1:99999", "not a url"}) {
        setenv(kTSRTesseraBaseEnvironmentVariable, bad, 1);
        EXPECT_EQ(TSRTesseraURL(builtIn), builtIn) << bad;
    }
    EXPECT_EQ(linesWithCode("I-COR000040").size(), 7u);
}

} // namespace
