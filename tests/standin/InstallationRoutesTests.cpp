// The stand-in's installations service: what it refuses, and its administration over HTTP.
#include "tests/standin/StandinServerTest.h"

namespace {

using standintest::StandinServerTest;

constexpr const char* kKey = "AVelmoraDesktopClient-0123456789_abcdef";
constexpr const char* kRegister = "/v1/tenants/demo/installations/";
constexpr const char* kBody =
    R"({"tid":"cTID","appId":"1:2:ios:3","authVersion":"INS_v2","sdkVersion":"i:3.2.0"})";

class InstallationRoutesTest : public StandinServerTest {
protected:
    httplib::Result send(const std::string& method, const std::string& path, const std::string& body,
                         httplib::Headers headers = {{"X-Tessera-Api-Key", kKey},
                                                     {"X-Tessera-Bundle-Identifier", "io.velmora.mac"}}) {
        httplib::Client http("127.0.0.1", port);
        if (method == "DELETE") return http.Delete(path, headers, body, "application/json");
        return http.Post(path, headers, body, "application/json");
    }
    int status(const std::string& method, const std::string& path, const std::string& body,
               const std::string& refreshToken = "") {
        httplib::Headers headers{{"X-Tessera-Api-Key", kKey},
                                 {"X-Tessera-Bundle-Identifier", "io.velmora.mac"}};
        if (!refreshToken.empty()) headers.emplace("Authorization", "INS_v2 " + refreshToken);
        auto result = send(method, path, body, headers);
        return result ? result->status : 0;
    }
};

TEST_F(InstallationRoutesTest, RefusesMissingKeysBadBodiesAndWrongRefreshTokens) {
    EXPECT_EQ(send("POST", kRegister, kBody, {{"X-Tessera-Bundle-Identifier", "b"}})->status, 403);
    EXPECT_EQ(send("POST", kRegister, kBody,
                   {{"X-Tessera-Api-Key", "Atooshort"}, {"X-Tessera-Bundle-Identifier", "b"}})
                  ->status,
              403);
    EXPECT_EQ(send("POST", kRegister, kBody, {{"X-Tessera-Api-Key", kKey}})->status, 403);
    EXPECT_EQ(status("POST", kRegister, R"({"tid":"cTID","appId":"x","authVersion":"v1","sdkVersion":"s"})"),
              400);
    EXPECT_EQ(status("POST", kRegister, "not json"), 400);
    EXPECT_TRUE(server.installations().all().empty());

    auto reply = nlohmann::json::parse(send("POST", kRegister, kBody)->body);
    EXPECT_EQ(reply["tid"], "cTID");
    EXPECT_EQ(reply["authToken"]["expiresIn"], "604800s");
    const std::string refreshToken = reply["refreshToken"];
    const std::string tokens = std::string(kRegister) + "cTID/tokens";
    const std::string tokenBody = R"({"installation":{"sdkVersion":"i:3.2.0"}})";
    EXPECT_EQ(status("POST", tokens, tokenBody), 401);
    EXPECT_EQ(status("POST", tokens, tokenBody, "rt-wrong"), 401);
    EXPECT_EQ(status("POST", tokens, "{}", refreshToken), 400);
    EXPECT_EQ(status("POST", std::string(kRegister) + "cOther/tokens", tokenBody, refreshToken), 404);
    EXPECT_EQ(status("POST", tokens, tokenBody, refreshToken), 200);
    EXPECT_EQ(status("DELETE", std::string(kRegister) + "cTID/", "{}", refreshToken), 200);
    EXPECT_EQ(status("DELETE", std::string(kRegister) + "cTID/", "{}", refreshToken), 404);
}

TEST_F(InstallationRoutesTest, AdministrationArmsFaultsSetsLifetimesAndListsWithoutSecrets) {
    EXPECT_EQ(client->postRaw("/admin/installations/fault?op=register&kind=418", "", "text/plain").status,
              400);
    EXPECT_EQ(client->postRaw("/admin/installations/fault?op=update&kind=500", "", "text/plain").status, 400);
    EXPECT_EQ(
        client->postRaw("/admin/installations/fault?op=register&kind=500-once", "", "text/plain").status,
        200);
    EXPECT_EQ(status("POST", kRegister, kBody), 500);
    EXPECT_EQ(status("POST", kRegister, kBody), 200) << "a one-time fault fires once";

    EXPECT_EQ(client->postRaw("/admin/installations/token-lifetime?seconds=-1", "", "text/plain").status,
              400);
    EXPECT_EQ(client->postRaw("/admin/installations/token-lifetime?seconds=90", "", "text/plain").status,
              200);
    EXPECT_EQ(
        client->postRaw("/admin/installations/fault?op=register&kind=bad-expiry&value=soon", "", "text/plain")
            .status,
        200);
    EXPECT_EQ(nlohmann::json::parse(send("POST", kRegister, kBody)->body)["authToken"]["expiresIn"], "soon");
    EXPECT_EQ(client->del("/admin/installations/faults").status, 200);
    EXPECT_EQ(nlohmann::json::parse(send("POST", kRegister, kBody)->body)["authToken"]["expiresIn"], "90s");
    EXPECT_EQ(client->postRaw("/admin/installations/fault?op=register&kind=malformed-json", "", "text/plain")
                  .status,
              200);
    EXPECT_FALSE(nlohmann::json::accept(send("POST", kRegister, kBody)->body));

    const standintest::Reply list = client->get("/admin/installations");
    ASSERT_EQ(list.status, 200);
    EXPECT_EQ(list.json().size(), 1u);
    EXPECT_EQ(list.json()[0]["tid"], "cTID");
    EXPECT_EQ(list.body.find("rt-"), std::string::npos) << "no refresh token in the listing";
    EXPECT_EQ(client->del("/admin/installations").status, 200);
    EXPECT_TRUE(server.installations().all().empty());
    EXPECT_EQ(server.installations().tokenLifetime(), standin::InstallationRegistry::kDefaultTokenLifetime);
    // Administration is never logged; the service's requests are.
    for (const auto& entry : server.requests())
        EXPECT_EQ(entry.path.rfind("/admin/", 0), std::string::npos);
    EXPECT_EQ(server.requests().size(), 5u);
}

} // namespace
