// The root view: the login branch without credentials, the main branch with them, and the way
// back on "showLoginView".
#include "app/ContentView.h"
#include "app/classes/Preferences.h"
#include "platform/log/OSLog.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Host.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using plat::ui::Host;
using plat::ui::Query;
using State = ContentViewModel::ProgramState;

class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UserDefaults::resetForTesting();
        previousSink_ = plat::setConsoleSink([this](const std::string& line) {
            if (line == "initializing VelmoraController") ++controllersMade;
        });
    }
    void TearDown() override {
        host.reset();
        plat::RunLoop::main().drain();
        plat::setConsoleSink(previousSink_);
        plat::UserDefaults::resetForTesting();
    }
    void show() {
        host = std::make_unique<Host>(plat::ui::make<ContentView>());
        host->update();
    }
    bool showsLogin() const { return host->count(Query::testId("LoginView")) == 1; }
    bool showsMain() const { return host->count(Query::testId("VPNMainView")) == 1; }
    std::shared_ptr<ContentViewModel> model() const {
        auto node = host->require(Query::testId(showsLogin() ? "LoginView" : "VPNMainView"));
        return node.environment().object<ContentViewModel>();
    }

    testsupport::TempHome home;
    std::unique_ptr<Host> host;
    std::atomic<int> controllersMade{0};

private:
    std::function<void(const std::string&)> previousSink_;
};

TEST_F(ContentViewTest, WithoutCredentialsTheLoginBranchShows) {
    Preferences::setEmail("user@example.org"); // a token is missing
    show();
    EXPECT_TRUE(showsLogin());
    EXPECT_FALSE(showsMain());
    EXPECT_EQ(controllersMade, 0);
}

TEST_F(ContentViewTest, WithCredentialsTheMainBranchShowsWithItsOwnController) {
    Preferences::setEmail("user@example.org");
    Preferences::setToken("token-1");
    show();
    EXPECT_TRUE(showsMain());
    EXPECT_FALSE(showsLogin());
    EXPECT_EQ(controllersMade, 1);
    ASSERT_TRUE(model());
    EXPECT_EQ(model()->state.get(), State::loggedIn);
}

TEST_F(ContentViewTest, ShowLoginViewReturnsToLoginAndLoggingInAgainBuildsAFreshMainWindow) {
    Preferences::setEmail("user@example.org");
    Preferences::setToken("token-1");
    show();
    auto vm = model();
    ASSERT_TRUE(showsMain());

    plat::NotificationCenter::defaultCenter().post("showLoginView");
    host->update();
    EXPECT_TRUE(showsLogin());
    EXPECT_FALSE(showsMain());
    EXPECT_EQ(vm->state.get(), State::needLogin);
    EXPECT_EQ(model(), vm) << "the model lives as long as the root";

    vm->state = State::loggedIn;
    host->update();
    EXPECT_TRUE(showsMain());
    EXPECT_EQ(controllersMade, 2);
}

TEST_F(ContentViewTest, ShowLoginViewTwiceKeepsOneLoginScreenWithWhatWasTyped) {
    show();
    auto field = host->require(Query::placeholder("Email"));
    ASSERT_TRUE(host->type(field, "typed@example.org"));
    plat::NotificationCenter::defaultCenter().post("showLoginView");
    plat::NotificationCenter::defaultCenter().post("showLoginView");
    host->update();
    EXPECT_EQ(host->count(Query::testId("LoginView")), 1u);
    EXPECT_EQ(host->require(Query::placeholder("Email")).value(), "typed@example.org");
}

TEST_F(ContentViewTest, WithoutARootTheNotificationChangesNothing) {
    Preferences::setEmail("user@example.org");
    Preferences::setToken("token-1");
    show();
    auto vm = model();
    host.reset();
    plat::NotificationCenter::defaultCenter().post("showLoginView");
    EXPECT_EQ(vm->state.get(), State::loggedIn);
}

} // namespace
