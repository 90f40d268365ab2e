// Sign-in and sign-up against the stand-in: what is stored and what is published.
#include "app/controllers/LoginController.h"
#include "tests/app/service/StandinFixture.h"

#include <gtest/gtest.h>

using servicetest::StandinTest;
using standin::Fault;
using standin::StandinServer;

namespace {

class LoginFlow : public StandinTest {
protected:
    std::shared_ptr<LoginController> controller = std::make_shared<LoginController>();
    // Results published after the controller was made (the current value is skipped).
    std::vector<Status> results;
    plat::AnyCancellable subscription =
        controller->loginResult.sink([this](Status s) { results.push_back(s); });
    LoginFlow() { results.clear(); }

    void waitForResult() {
        waitFor([&] { return !results.empty(); });
    }
};

} // namespace

TEST_F(LoginFlow, DemoSignInStoresTheCredentials) {
    controller->loginPressed(StandinServer::demoEmail(), StandinServer::demoPassword());
    EXPECT_TRUE(results.empty()); // nothing before the reply
    waitForResult();

    EXPECT_EQ(results, std::vector<Status>{Status::logInTrue});
    ASSERT_TRUE(Preferences::token().has_value());
    EXPECT_FALSE(Preferences::token()->empty());
    EXPECT_EQ(Preferences::email(), StandinServer::demoEmail());
    EXPECT_EQ(Preferences::password(), StandinServer::demoPassword());
    EXPECT_EQ(controller->loginErrorMsg.get(), "NotLoggedIn");
    EXPECT_FALSE(controller->loginError.get());

    // The stored token is the one the service accepts.
    std::optional<JSON> me;
    Client::shared().userInformation([&](auto, std::optional<JSON> json) { me = json; });
    waitFor([&] { return me.has_value(); });
    EXPECT_EQ((*me)["email"].stringValue(), StandinServer::demoEmail());
}

TEST_F(LoginFlow, WrongPasswordPublishesTheServiceMessageAndKeepsEarlierItems) {
    Preferences::setToken("earlier-token");
    controller->loginPressed(StandinServer::demoEmail(), "wrong-password");
    waitForResult();
    EXPECT_EQ(results, std::vector<Status>{Status::logInFalse});
    EXPECT_EQ(controller->loginErrorMsg.get(), "These credentials do not match our records.");
    EXPECT_TRUE(controller->loginError.get());
    EXPECT_EQ(Preferences::token(), "earlier-token");
    EXPECT_EQ(Preferences::password(), std::nullopt);
}

TEST_F(LoginFlow, ReplyWithoutTokenIsAFailureAndStoresNothing) {
    server_.setFault("auth/login/email", Fault{Fault::Kind::NotFoundJson, {}}); // {"message":"Not Found"}
    controller->loginPressed(StandinServer::demoEmail(), StandinServer::demoPassword());
    waitForResult();
    EXPECT_EQ(results, std::vector<Status>{Status::logInFalse});
    EXPECT_EQ(controller->loginErrorMsg.get(), "Not Found");
    EXPECT_EQ(Preferences::token(), std::nullopt);
    EXPECT_EQ(Preferences::email(), std::nullopt);
}

TEST_F(LoginFlow, TransportFailureShowsTheErrorDescription) {
    server_.setFault("auth/login/email", Fault{Fault::Kind::Empty, {}});
    controller->loginPressed(StandinServer::demoEmail(), StandinServer::demoPassword());
    waitForResult();
    EXPECT_EQ(controller->loginErrorMsg.get(), plat::Error("No data received", 0).localizedDescription());
    EXPECT_EQ(results, std::vector<Status>{Status::logInFalse});
}

TEST_F(LoginFlow, SignUpWithDifferentPasswordsSendsNoRequest) {
    controller->signupPressed("new.user@velmora.example", "first-secret", "second-secret");
    EXPECT_EQ(results, std::vector<Status>{Status::signUpFalse});
    plat::RunLoop::main().drain();
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(LoginFlow, SignUpStoresTheNewAccountAndATakenAddressFails) {
    controller->signupPressed("new.user@velmora.example", "first-secret", "first-secret");
    waitForResult();
    EXPECT_EQ(results, std::vector<Status>{Status::signUpTrue});
    EXPECT_EQ(Preferences::email(), "new.user@velmora.example");
    EXPECT_EQ(Preferences::password(), "first-secret");
    auto uid = Preferences::uid();
    std::string body = server_.requests().at(0).body;
    EXPECT_NE(body.find("name=\"uid\"\r\n\r\n" + *uid + "\r\n"), std::string::npos);

    results.clear();
    controller->signupPressed(StandinServer::demoEmail(), "another-secret", "another-secret");
    waitForResult();
    EXPECT_EQ(results, std::vector<Status>{Status::signUpFalse});
    EXPECT_EQ(controller->loginErrorMsg.get(), "The email has already been taken.");
    EXPECT_EQ(Preferences::email(), "new.user@velmora.example");
}

TEST_F(LoginFlow, RequestInFlightKeepsTheControllerAlive) {
    subscription.cancel();
    std::weak_ptr<LoginController> weak = controller;
    controller->loginPressed(StandinServer::demoEmail(), StandinServer::demoPassword());
    controller.reset();
    EXPECT_FALSE(weak.expired());
    waitFor([&] { return Preferences::token().has_value(); });
    plat::RunLoop::main().drain();
    EXPECT_TRUE(weak.expired());
}
