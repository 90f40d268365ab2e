// Sign-in, sign-up and password reset through real HTTP against an in-process stand-in.
#include "tests/standin/StandinServerTest.h"

using standintest::Fields;
using standintest::StandinServerTest;

namespace {

Fields emailForm(const std::string& email, const std::string& password, const std::string& uid) {
    return {{"email", email},
            {"email_password", password},
            {"uid", uid},
            {"platform", "macSA"},
            {"os", "13.6.1"},
            {"app_version", "2.4"},
            {"device_name", "Work Mac"}};
}

} // namespace

class AuthRoutes : public StandinServerTest {};

TEST_F(AuthRoutes, DemoSignInGivesATokenAndNoErrors) {
    auto reply = client->post("/api/auth/login/email",
                              emailForm(server.demoEmail(), server.demoPassword(), "uid-demo"));
    ASSERT_EQ(reply.status, 200);
    auto body = reply.json();
    EXPECT_FALSE(body.contains("errors"));
    ASSERT_TRUE(body["access_token"].is_string());
    std::string token = body["access_token"];
    EXPECT_GE(token.size(), 32u);
    // The token authorises at once.
    EXPECT_EQ(client->get("/api/users/me", token).json()["email"], server.demoEmail());
    // Each sign-in issues a token of its own.
    EXPECT_NE(demoToken(), token);
}

TEST_F(AuthRoutes, WrongPasswordAndUnknownAddressCarryErrorsAndMessage) {
    for (const auto& [email, password] :
         {std::pair{server.demoEmail(), std::string("not-the-password")},
          std::pair{std::string("nobody@velmora.example"), server.demoPassword()}}) {
        auto reply = client->post("/api/auth/login/email", emailForm(email, password, "u"));
        EXPECT_EQ(reply.status, 401);
        auto body = reply.json();
        EXPECT_TRUE(body.contains("errors"));
        EXPECT_EQ(body["message"], "These credentials do not match our records.");
        EXPECT_FALSE(body.contains("access_token"));
    }
}

TEST_F(AuthRoutes, MissingFieldsOrABodyThatIsNotMultipartAreValidationErrors) {
    auto missing = client->post("/api/auth/login/email", {{"email", server.demoEmail()}});
    EXPECT_EQ(missing.status, 422);
    EXPECT_EQ(missing.json()["message"], "The email password field is required.");
    EXPECT_TRUE(missing.json()["errors"].contains("email_password"));

    auto json =
        client->postRaw("/api/auth/login/email", R"({"email":"demo@velmora.example"})", "application/json");
    EXPECT_EQ(json.status, 422);
    EXPECT_TRUE(json.json().contains("errors"));
}

TEST_F(AuthRoutes, SignUpCreatesAnAccountThatCanSignIn) {
    auto reply =
        client->post("/api/auth/email", emailForm("new.user@velmora.example", "s3cret-pw", "uid-new"));
    ASSERT_EQ(reply.status, 201);
    EXPECT_FALSE(reply.json().contains("errors"));
    std::string token = reply.json()["access_token"];
    EXPECT_FALSE(token.empty());
    EXPECT_EQ(client->get("/api/users/me", token).json()["email"], "new.user@velmora.example");

    EXPECT_FALSE(client->signIn("new.user@velmora.example", "s3cret-pw").empty());
    // Addresses compare without regard to case.
    EXPECT_FALSE(client->signIn("New.User@Velmora.Example", "s3cret-pw").empty());
    EXPECT_TRUE(client->signIn("new.user@velmora.example", "other-pw").empty());
}

TEST_F(AuthRoutes, SignUpRefusesTakenAddressesShortPasswordsAndNonAddresses) {
    auto taken = client->post("/api/auth/email", emailForm(server.demoEmail(), "whatever1", "u"));
    EXPECT_EQ(taken.status, 422);
    EXPECT_EQ(taken.json()["message"], "The email has already been taken.");

    auto shortPassword = client->post("/api/auth/email", emailForm("a@velmora.example", "12345", "u"));
    EXPECT_TRUE(shortPassword.json().contains("errors"));
    auto noAddress = client->post("/api/auth/email", emailForm("velmora.example", "123456", "u"));
    EXPECT_TRUE(noAddress.json().contains("errors"));
    // None of the refused attempts created an account.
    EXPECT_TRUE(client->signIn("a@velmora.example", "12345").empty());
}

TEST_F(AuthRoutes, DeviceIdAccountsSignUpOnceAndSignIn) {
    Fields form = {{"uid", "device-7"}, {"uid_password", "pw-device-7"}, {"platform", "macSA"}};
    EXPECT_EQ(client->post("/api/auth/signup", form).status, 201);
    EXPECT_EQ(client->post("/api/auth/signup", form).status, 422);
    auto login = client->post("/api/auth/login/uid", form);
    ASSERT_EQ(login.status, 200);
    EXPECT_TRUE(login.json()["access_token"].is_string());
    form[1].second = "wrong";
    EXPECT_TRUE(client->post("/api/auth/login/uid", form).json().contains("errors"));
}

TEST_F(AuthRoutes, PasswordResetByCodeThenUpdateWithBearer) {
    EXPECT_EQ(client->post("/api/auth/reset-password", {{"email", "nobody@velmora.example"}}).status, 422);
    ASSERT_EQ(client->post("/api/auth/reset-password", {{"email", server.demoEmail()}}).status, 200);
    auto code = server.resetCode(server.demoEmail());
    ASSERT_TRUE(code);
    EXPECT_EQ(code->size(), 6u);
    // The same code is readable through the administration endpoint.
    EXPECT_EQ(client->get("/admin/reset-code?email=" + server.demoEmail()).json()["code"], *code);

    std::string wrongCode = *code == "000000" ? "111111" : "000000";
    EXPECT_EQ(
        client->post("/api/auth/verify-code", {{"email", server.demoEmail()}, {"code", wrongCode}}).status,
        422);
    auto verified = client->post("/api/auth/verify-code", {{"email", server.demoEmail()}, {"code", *code}});
    ASSERT_EQ(verified.status, 200);
    std::string token = verified.json()["access_token"];
    // A code is used up by its verification.
    EXPECT_EQ(client->post("/api/auth/verify-code", {{"email", server.demoEmail()}, {"code", *code}}).status,
              422);

    Fields update = {{"password", "brand-new-pw"}, {"password_confirmation", "brand-new-pw"}};
    EXPECT_EQ(client->post("/api/auth/update-password", update).status, 401); // no bearer
    EXPECT_EQ(client
                  ->post("/api/auth/update-password",
                         {{"password", "brand-new-pw"}, {"password_confirmation", "other-pw"}}, token)
                  .status,
              422);
    ASSERT_EQ(client->post("/api/auth/update-password", update, token).status, 200);
    EXPECT_TRUE(client->signIn(server.demoEmail(), server.demoPassword()).empty());
    EXPECT_FALSE(client->signIn(server.demoEmail(), "brand-new-pw").empty());
}
