// The stand-in's crash settings endpoint over HTTP: its document, faults, delay, request log and
// administration, and that the session settings' platform is not answered by it.
#include "platform/net/URLSession.h"
#include "standin/StandinServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace {

struct Reply {
    int status = 0;
    std::string body;
    std::string contentType;
};

class StandinCrashSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { server.start(); }
    Reply send(const std::string& method, const std::string& path, const std::string& body = {}) {
        plat::URLRequest request("http://127.0.0.1:" + std::to_string(server.port()) + path, 10.0);
        request.httpMethod = method;
        if (method != "GET") request.httpBody = plat::toData(body);
        if (method == "POST") request.setValue("text/plain", "Content-Type");
        std::promise<Reply> done;
        plat::URLSession::shared()
            .dataTask(request,
                      [&](auto data, auto response, auto) {
                          Reply reply;
                          if (response) {
                              reply.status = response->statusCode;
                              reply.contentType = response->value("Content-Type").value_or("");
                          }
                          if (data) reply.body = plat::toString(*data);
                          done.set_value(reply);
                      })
            ->resume();
        auto future = done.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }
    standin::StandinServer server;
    const std::string settingsPath =
        "/settings/v1/platforms/mac/apps/1%3A2/settings?build_version=7&source=1";
};

TEST_F(StandinCrashSettingsTest, ServesTheConfiguredDocumentAndLogsEachRequest) {
    Reply first = send("GET", settingsPath);
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, standin::CrashSettingsService::defaultDocument());

    EXPECT_EQ(send("PUT", "/admin/crash-settings/document", "[1]").status, 400);
    const std::string document = R"({"features":{"collect_reports":false},"cache_duration":0})";
    EXPECT_EQ(send("PUT", "/admin/crash-settings/document", document).status, 200);
    EXPECT_EQ(send("GET", settingsPath).body, document);

    auto requests = server.crashSettings().requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].query, "build_version=7&source=1");
    Reply log = send("GET", "/admin/crash-settings/requests");
    EXPECT_NE(log.body.find("build_version=7"), std::string::npos);

    // The session settings ask for another platform; this endpoint does not answer them.
    EXPECT_EQ(server.crashSettings().requests().size(), 2u);
    send("GET", "/settings/v1/platforms/macos/apps/1/settings");
    EXPECT_EQ(server.crashSettings().requests().size(), 2u);

    EXPECT_EQ(send("DELETE", "/admin/crash-settings").status, 200);
    EXPECT_TRUE(server.crashSettings().requests().empty());
    EXPECT_EQ(server.crashSettings().document(), standin::CrashSettingsService::defaultDocument());
}

TEST_F(StandinCrashSettingsTest, FaultsAndDelayAreArmedThroughAdministration) {
    EXPECT_EQ(send("POST", "/admin/crash-settings/fault?kind=teapot").status, 400);
    EXPECT_EQ(send("POST", "/admin/crash-settings/fault?kind=500").status, 200);
    EXPECT_EQ(send("GET", settingsPath).status, 500);
    EXPECT_EQ(send("POST", "/admin/crash-settings/fault?kind=nonjson").status, 200);
    Reply html = send("GET", settingsPath);
    EXPECT_EQ(html.status, 200);
    EXPECT_EQ(html.contentType.rfind("text/html", 0), 0u);
    EXPECT_EQ(send("POST", "/admin/crash-settings/fault?kind=404").status, 200);
    EXPECT_EQ(send("GET", settingsPath).status, 404);
    EXPECT_EQ(send("DELETE", "/admin/crash-settings/faults").status, 200);
    EXPECT_EQ(send("GET", settingsPath).status, 200);

    EXPECT_EQ(send("POST", "/admin/crash-settings/delay?ms=-1").status, 400);
    EXPECT_EQ(send("POST", "/admin/crash-settings/delay?ms=250").status, 200);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(send("GET", settingsPath).status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(250));
    EXPECT_NE(send("GET", "/admin/crash-settings").body.find(R"("delay_ms":250)"), std::string::npos);
}

} // namespace
