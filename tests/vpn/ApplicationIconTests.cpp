// The application icon: set at once on the main thread, through the main queue from elsewhere.
#include "platform/appkit/Application.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace plat;

namespace {

class ApplicationIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().drain();
        Application::shared().resetForTesting();
    }
    void TearDown() override { Application::shared().resetForTesting(); }
};

TEST_F(ApplicationIconTest, MainThreadSetsAtOnceAndSubscribersFollow) {
    std::vector<std::optional<std::string>> seen;
    auto subscription = Application::shared().applicationIconImage().sink(
        [&](const std::optional<std::string>& name) { seen.push_back(name); });
    Application::shared().setApplicationIconImage("iconConnected");
    EXPECT_EQ(Application::shared().applicationIconImage().get(), "iconConnected");
    Application::shared().setApplicationIconImage(std::nullopt);
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{std::nullopt, "iconConnected", std::nullopt}));
}

TEST_F(ApplicationIconTest, OtherThreadsSetItOnTheMainQueueInOrder) {
    std::vector<bool> onMain;
    auto subscription = Application::shared().applicationIconImage().sink(
        [&](const std::optional<std::string>&) { onMain.push_back(isMainThread()); });
    std::thread worker([] {
        Application::shared().setApplicationIconImage("iconConnecting");
        Application::shared().setApplicationIconImage("iconDisconnecting");
    });
    worker.join();
    EXPECT_FALSE(Application::shared().applicationIconImage().get()) << "not before the main queue runs";
    EXPECT_EQ(RunLoop::main().drain(), 2u);
    EXPECT_EQ(Application::shared().applicationIconImage().get(), "iconDisconnecting");
    EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
}

} // namespace
