// The login controller's input checks, which answer at once without a request.
#include "app/controllers/LoginController.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using servicetest::ServiceEnvironment;

namespace {

// Records every published change of the three outcome properties, in order.
struct OutcomeLog {
    explicit OutcomeLog(LoginController& c) {
        subscriptions.push_back(
            c.loginErrorMsg.sink([this](const std::string& v) { events.push_back("msg:" + v); }));
        subscriptions.push_back(
            c.loginError.sink([this](bool v) { events.push_back(v ? "error:1" : "error:0"); }));
        subscriptions.push_back(
            c.loginResult.sink([this](Status v) { events.push_back("result:" + std::to_string(int(v))); }));
        events.clear(); // drop the current values delivered on subscription
    }
    std::vector<std::string> events;
    std::vector<plat::AnyCancellable> subscriptions;
};

std::string result(Status s) {
    return "result:" + std::to_string(int(s));
}

} // namespace

TEST(LoginValidation, EmailPattern) {
    ServiceEnvironment env;
    auto controller = std::make_shared<LoginController>();
    const std::vector<std::string> valid = {"user@velmora.example",
                                            "first.last+tag@mail.example.COM",
                                            "\u00FCser@b\u00FC.example",
                                            "\"quoted\"@example.com",
                                            "a@b.\u00E9",
                                            "x@[192.168.1.1]",
                                            "o'brien@example.org"};
    for (const auto& address : valid)
        EXPECT_TRUE(controller->isValidEmailAddr(address)) << address;
    const std::vector<std::string> invalid = {"",
                                              "user",
                                              "user@localhost",
                                              "user@b\u00FCcher.example",
                                              "\"a b\"@example.com",
                                              "user@mAil.example.com",
                                              " user@velmora.example",
                                              "user@velmora.example ",
                                              "user@@velmora.example",
                                              "user.@velmora.example",
                                              "user@velmora..example"};
    for (const auto& address : invalid)
        EXPECT_FALSE(controller->isValidEmailAddr(address)) << address;
}

TEST(LoginValidation, RejectedInputPublishesMessageFlagThenResultAtOnce) {
    ServiceEnvironment env;
    auto controller = std::make_shared<LoginController>();
    EXPECT_EQ(controller->loginErrorMsg.get(), "NotLoggedIn");
    OutcomeLog log(*controller);

    controller->loginPressed("not-an-address", "longenough");
    EXPECT_EQ(log.events, (std::vector<std::string>{"msg:Please enter valid email", "error:1",
                                                    result(Status::logInFalse)}));

    // A second failure publishes again, so the screen reacts a second time.
    log.events.clear();
    controller->loginPressed("user@velmora.example", "12345");
    EXPECT_EQ(log.events, (std::vector<std::string>{"msg:Password should be 6 chars at least", "error:1",
                                                    result(Status::logInFalse)}));
}

TEST(LoginValidation, PasswordLengthCountsPerceivedCharacters) {
    ServiceEnvironment env;
    auto controller = std::make_shared<LoginController>();
    // Five family emoji (each several code points) are five characters: too short.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    controller->signupPressed("user@velmora.example", family + family + family + family + family,
                              "irrelevant-here");
    EXPECT_EQ(controller->loginErrorMsg.get(), "Password should be 6 chars at least");
    EXPECT_EQ(controller->loginResult.get(), Status::signUpFalse);

    // Six characters pass the length check and reach the comparison.
    controller->signupPressed("user@velmora.example", "123456", "1234567");
    EXPECT_EQ(controller->loginErrorMsg.get(), "Passwords are not the same");
}

TEST(LoginValidation, SignUpChecksStopAtTheFirstFailure) {
    ServiceEnvironment env;
    auto controller = std::make_shared<LoginController>();
    controller->signupPressed("bad address", "abc", "xyz");
    EXPECT_EQ(controller->loginErrorMsg.get(), "Please enter valid email");
    EXPECT_EQ(controller->loginResult.get(), Status::signUpFalse);
}
