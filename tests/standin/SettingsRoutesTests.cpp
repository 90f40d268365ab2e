// The stand-in's session settings endpoint over HTTP: the document it serves, its faults and the
// record of the requests, all set through its administration.
#include "tests/standin/StandinServerTest.h"

namespace {

using standintest::StandinServerTest;

constexpr const char* kSettingsPath =
    "/settings/v1/platforms/macos/apps/1:1:ios:ab/settings?build_version=1&display_version=1.0";

class SettingsRoutes : public StandinServerTest {};

TEST_F(SettingsRoutes, ServesTheConfiguredDocumentAndRecordsEachRequest) {
    auto reply = client->get(kSettingsPath);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.json()["app_health"]["session_timeout_seconds"], 1800);
    EXPECT_EQ(reply.json()["cache_duration"], 3600);

    auto set = client->postRaw("/admin/settings/document", R"({"app_health":{"sampling_rate":0.5}})",
                               "application/json");
    EXPECT_EQ(set.status, 200);
    EXPECT_EQ(client->get(kSettingsPath).json()["app_health"]["sampling_rate"], 0.5);
    EXPECT_EQ(client->postRaw("/admin/settings/document", "[1]", "application/json").status, 400);
    EXPECT_EQ(client->get("/admin/settings").json()["document"]["app_health"]["sampling_rate"], 0.5);

    auto requests = client->get("/admin/settings/requests").json();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["path"], "/settings/v1/platforms/macos/apps/1:1:ios:ab/settings");
    EXPECT_EQ(requests[0]["query"], "build_version=1&display_version=1.0");
    EXPECT_EQ(requests[0]["headers"]["Accept"], "application/json");
    // Other paths are not the settings service.
    EXPECT_EQ(client->get("/settings/v1/platforms/macos/apps/x/other").status, 404);

    EXPECT_EQ(client->del("/admin/settings").status, 200);
    EXPECT_TRUE(client->get("/admin/settings/requests").json().empty());
    EXPECT_EQ(client->get(kSettingsPath).json()["app_health"]["sampling_rate"], 1.0);
}

TEST_F(SettingsRoutes, FaultsReplaceTheDocumentUntilCleared) {
    auto arm = [&](const std::string& kind) {
        return client->postRaw("/admin/settings/fault?kind=" + kind, "", "text/plain").status;
    };
    ASSERT_EQ(arm("500"), 200);
    auto reply = client->get(kSettingsPath);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.json()["error"], "x");
    EXPECT_EQ(client->get(kSettingsPath).status, 500); // still armed
    EXPECT_EQ(client->get("/admin/settings").json()["fault"], "500");

    ASSERT_EQ(arm("nonjson"), 200);
    reply = client->get(kSettingsPath);
    EXPECT_EQ(reply.status, 200);
    EXPECT_FALSE(reply.isJson());

    ASSERT_EQ(arm("nulls"), 200);
    reply = client->get(kSettingsPath);
    EXPECT_TRUE(reply.json()["app_health"]["sampling_rate"].is_null());
    EXPECT_TRUE(reply.json()["cache_duration"].is_null());

    ASSERT_EQ(arm("wrong-types"), 200);
    reply = client->get(kSettingsPath);
    EXPECT_TRUE(reply.json()["app_health"]["sessions_enabled"].is_string());
    EXPECT_TRUE(reply.json()["cache_duration"].is_string());

    EXPECT_EQ(arm("teapot"), 400);
    EXPECT_EQ(client->del("/admin/settings/faults").status, 200);
    EXPECT_EQ(client->get(kSettingsPath).json()["cache_duration"], 3600);
}

} // namespace
