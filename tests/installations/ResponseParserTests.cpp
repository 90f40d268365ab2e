// Replies of the installations service are untrusted: every malformed one gets the error the
// contract names, never a half-filled record.
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsResponseParser.h"

#include <gtest/gtest.h>

namespace {

using Parser = TSRInstallationsResponseParser;
constexpr plat::Date kParsedAt{1'700'000'000};

TSRInstallationsItem request() {
    TSRInstallationsItem item("1:2:ios:3", "app");
    item.setTesseraInstallationID("cRequestTID");
    item.setIIDDefaultToken("legacy");
    item.setRegistrationStatus(TSRInstallationsRegistrationStatusUnregistered);
    return item;
}

std::string reasonFor(const std::string& reply) {
    std::optional<plat::Error> error;
    EXPECT_FALSE(Parser::registeredInstallationWithJSONData(request(), reply, kParsedAt, &error)) << reply;
    return error ? TSRInstallationsErrorUtil::failureReason(*error) : "";
}

TEST(ResponseParser, RegisterReplyBecomesARegisteredRecord) {
    std::optional<plat::Error> error;
    auto item = Parser::registeredInstallationWithJSONData(
        request(), R"({"refreshToken":"rt","authToken":{"token":"at","expiresIn":"604800s"}})", kParsedAt,
        &error);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->tesseraInstallationID(), "cRequestTID") << "no tid in the reply: the request's";
    EXPECT_EQ(item->refreshToken(), "rt");
    EXPECT_EQ(item->authToken()->token(), "at");
    EXPECT_EQ(item->authToken()->expirationDate()->secondsSince1970, kParsedAt.secondsSince1970 + 604800);
    EXPECT_EQ(item->registrationStatus(), TSRInstallationsRegistrationStatusRegistered);
    EXPECT_EQ(item->IIDDefaultToken(), "") << "the legacy token is sent once only";

    item = Parser::registeredInstallationWithJSONData(
        request(), R"({"tid":"fServer","refreshToken":"rt","authToken":{"token":"at","expiresIn":"1.5s"}})",
        kParsedAt, &error);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->tesseraInstallationID(), "fServer");
    EXPECT_EQ(item->authToken()->expirationDate()->secondsSince1970, kParsedAt.secondsSince1970 + 1.5);
}

TEST(ResponseParser, MalformedRepliesGetTheirErrors) {
    const std::string json = "Failed to serialize JSON data.";
    EXPECT_EQ(reasonFor(""), json);
    EXPECT_EQ(reasonFor("<html>502</html>"), json);
    EXPECT_EQ(reasonFor(R"(["refreshToken"])"), json);
    EXPECT_EQ(reasonFor(R"({"refreshToken":"rt","authToken":{)"), json);
    std::string huge = R"({"refreshToken":"rt","authToken":{"token":"at","expiresIn":"1s"},"pad":")";
    huge += std::string(kTSRInstallationsMaxResponseSize, 'x') + "\"}";
    EXPECT_EQ(reasonFor(huge), json);

    auto missing = [](const std::string& field) {
        return "A required response field with name " + field + " is missing";
    };
    EXPECT_EQ(reasonFor(R"({"authToken":{"token":"at","expiresIn":"1s"}})"), missing("refreshToken"));
    EXPECT_EQ(reasonFor(R"({"refreshToken":7,"authToken":{"token":"at","expiresIn":"1s"}})"),
              missing("refreshToken"));
    EXPECT_EQ(reasonFor(R"({"refreshToken":"","authToken":{"token":"at","expiresIn":"1s"}})"),
              missing("refreshToken"));
    EXPECT_EQ(reasonFor(R"({"refreshToken":"r\r\nX-Evil: 1","authToken":{"token":"at","expiresIn":"1s"}})"),
              missing("refreshToken"))
        << "a line break would be sent back in a header";
    EXPECT_EQ(reasonFor(R"({"refreshToken":"rt","authToken":"at"})"), missing("authToken"));
    EXPECT_EQ(reasonFor(R"({"refreshToken":"rt","authToken":{"token":null,"expiresIn":"1s"}})"),
              missing("authToken.token"));
    for (const char* expiresIn : {"", "3600", "s", "-5s", "+5s", "abcs", "1e3s", "nans", "infs", " 5s", "5 s",
                                  "1.s", ".5s", "999999999999s"})
        EXPECT_EQ(reasonFor(std::string(R"({"refreshToken":"rt","authToken":{"token":"at","expiresIn":")") +
                            expiresIn + "\"}}"),
                  missing("authToken.expiresIn"))
            << expiresIn;
    EXPECT_EQ(reasonFor(R"({"refreshToken":"rt","authToken":{"token":"at","expiresIn":3600}})"),
              missing("authToken.expiresIn"));

    // A tid that cannot be used falls back to the request's.
    std::optional<plat::Error> error;
    auto item = Parser::registeredInstallationWithJSONData(
        request(), R"({"tid":"a\u0000b","refreshToken":"rt","authToken":{"token":"at","expiresIn":"1s"}})",
        kParsedAt, &error);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->tesseraInstallationID(), "cRequestTID");
}

TEST(ResponseParser, TokenReplyReadsTheTopLevel) {
    std::optional<plat::Error> error;
    auto token = Parser::authTokenWithGenerateTokenAPIJSONData(R"({"token":"t2","expiresIn":"3600s"})",
                                                               kParsedAt, &error);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->token(), "t2");
    EXPECT_EQ(token->status(), TSRInstallationsAuthTokenStatusTokenReceived);
    EXPECT_FALSE(Parser::authTokenWithGenerateTokenAPIJSONData(
        R"({"authToken":{"token":"t2","expiresIn":"3600s"}})", kParsedAt, &error));
    EXPECT_EQ(TSRInstallationsErrorUtil::failureReason(*error),
              "A required response field with name authToken.token is missing");
}

} // namespace
