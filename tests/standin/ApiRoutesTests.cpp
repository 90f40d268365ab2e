// The authorised resources: account, plan, catalogue, regions, tunnel configuration, devices.
// Reply shapes are checked against what the application reads from them.
#include "tests/standin/StandinServerTest.h"

#include <cmath>
#include <set>

using standintest::StandinServerTest;

class ApiRoutes : public StandinServerTest {};

TEST_F(ApiRoutes, AuthorisedGetsNeedABearerToken) {
    for (const char* path :
         {"/api/users/me", "/api/users/me/ip", "/api/users/me/plan", "/api/vpn/plans",
          "/api/users/me/regions", "/api/config/ipsec/1", "/api/config/openvpn/1", "/api/devices"}) {
        SCOPED_TRACE(path);
        auto none = client->get(path);
        EXPECT_EQ(none.status, 401);
        EXPECT_EQ(none.json()["message"], "Unauthenticated.");
        // "Bearer " with nothing after it is what the application sends without a stored token.
        auto empty = client->get(path, "");
        EXPECT_EQ(empty.status, 401);
        EXPECT_FALSE(empty.json().contains("code"));
        // A token the stand-in never issued counts as an expired session.
        EXPECT_EQ(client->get(path, "made-up-token").json()["code"], "E0112");
    }
    // The best regions are public.
    EXPECT_EQ(client->get("/api/users/me/regions/best").status, 200);
}

TEST_F(ApiRoutes, PlanRepliesCarryWhatThePlanLineReads) {
    auto plan = client->get("/api/users/me/plan", demoToken()).json();
    EXPECT_EQ(plan["status"], "active");
    EXPECT_EQ(plan["is_unlimited"], false);
    EXPECT_EQ(plan["name"], "Yearly");

    auto catalogue = client->get("/api/vpn/plans", demoToken()).json();
    ASSERT_TRUE(catalogue.is_array());
    ASSERT_GE(catalogue.size(), 3u);
    bool sawUnlimited = false;
    for (const auto& entry : catalogue) {
        EXPECT_TRUE(entry["name"].is_string());
        EXPECT_TRUE(entry["total_days"].is_number_integer());
        EXPECT_TRUE(entry["is_unlimited"].is_boolean());
        EXPECT_TRUE(entry["price"].is_string());
        sawUnlimited = sawUnlimited || entry["is_unlimited"].get<bool>();
    }
    EXPECT_TRUE(sawUnlimited);
}

TEST_F(ApiRoutes, RegionListHasEveryFieldOfTheRegionRecord) {
    auto regions = client->get("/api/users/me/regions", demoToken()).json();
    ASSERT_TRUE(regions.is_array());
    EXPECT_GE(regions.size(), 40u);
    std::set<int64_t> ids;
    std::set<std::string> domains;
    size_t nearest = 0, withoutDistance = 0;
    for (const auto& region : regions) {
        SCOPED_TRACE(region.dump());
        ASSERT_TRUE(region["id"].is_number_integer());
        EXPECT_NE(region["id"].get<int64_t>(), 0); // 0 means "no region chosen" to the application
        ids.insert(region["id"].get<int64_t>());
        for (const char* key : {"is_streaming", "is_free", "is_alive", "is_p2p", "is_nearest"})
            EXPECT_TRUE(region[key].is_boolean()) << key;
        for (const char* key :
             {"server_domain", "city", "country_code", "country_name", "ip", "short_name", "continent"})
            EXPECT_TRUE(region[key].is_string()) << key;
        EXPECT_TRUE(region["load_percentage"].is_number_integer());
        EXPECT_TRUE(region["distance"].is_null() || region["distance"].is_number_integer());
        withoutDistance += region["distance"].is_null();
        nearest += region["is_nearest"].get<bool>();
        double latitude = region["location"]["latitude"], longitude = region["location"]["longitude"];
        EXPECT_TRUE(std::abs(latitude) <= 90 && std::abs(longitude) <= 180);
        std::string domain = region["server_domain"];
        EXPECT_TRUE(domain.ends_with(".vpn.velmora.example"));
        domains.insert(domain);
        std::string ip = region["ip"];
        EXPECT_TRUE(ip.starts_with("192.0.2.") || ip.starts_with("198.51.100.") ||
                    ip.starts_with("203.0.113."));
        EXPECT_EQ(std::string(region["country_code"]).size(), 2u);
    }
    EXPECT_EQ(ids.size(), regions.size());
    EXPECT_EQ(domains.size(), regions.size());
    EXPECT_GE(nearest, 1u);
    EXPECT_LT(nearest, regions.size());
    EXPECT_EQ(withoutDistance, 1u);
}

TEST_F(ApiRoutes, BestRegionsAreTheNearestRankedByDistancePlusLoad) {
    auto best = client->get("/api/users/me/regions/best").json();
    ASSERT_FALSE(best.empty());
    int64_t previous = -1;
    for (const auto& region : best) {
        EXPECT_TRUE(region["is_nearest"].get<bool>());
        int64_t score = region["distance"].get<int64_t>() + region["load_percentage"].get<int64_t>();
        EXPECT_GE(score, previous);
        previous = score;
    }
}

TEST_F(ApiRoutes, IpsecConfigurationNamesTheRegionsServer) {
    std::string token = demoToken();
    auto regions = client->get("/api/users/me/regions", token).json();
    const auto& region = regions.at(5);
    auto config =
        client->get("/api/config/ipsec/" + std::to_string(region["id"].get<int64_t>()), token).json();
    EXPECT_EQ(config["server_domain"], region["server_domain"]);
    ASSERT_TRUE(config["radius_login"].is_string());
    ASSERT_TRUE(config["radius_password"].is_string());
    EXPECT_FALSE(config["radius_login"].get<std::string>().empty());
    EXPECT_FALSE(config["radius_password"].get<std::string>().empty());

    // With no region chosen the application asks for 0 and gets the best region.
    auto best = client->get("/api/users/me/regions/best").json().at(0);
    EXPECT_EQ(client->get("/api/config/ipsec/0", token).json()["server_domain"], best["server_domain"]);

    for (const char* unknown : {"/api/config/ipsec/99999", "/api/config/ipsec/abc", "/api/config/ipsec/"}) {
        auto reply = client->get(unknown, token);
        EXPECT_EQ(reply.status, 404) << unknown;
        EXPECT_TRUE(reply.isJson());
    }
    auto openvpn = client->get("/api/config/openvpn/1", token).json();
    for (const char* key : {"ca", "cert", "key", "server_domain"})
        EXPECT_TRUE(openvpn[key].is_string()) << key;
}

TEST_F(ApiRoutes, DevicesListTheSignedInDeviceAndDeleteById) {
    std::string token = client->signIn(server.demoEmail(), server.demoPassword(), "uid-list");
    auto devices = client->get("/api/devices", token).json();
    ASSERT_TRUE(devices.is_array());
    const nlohmann::json* mine = nullptr;
    bool sawNeverSignedIn = false;
    for (const auto& device : devices) {
        EXPECT_TRUE(device["id"].is_number_integer());
        for (const char* key : {"device_name", "os", "platform"})
            EXPECT_TRUE(device[key].is_string()) << key;
        EXPECT_TRUE(device["last_login_at"].is_string() || device["last_login_at"].is_null());
        sawNeverSignedIn = sawNeverSignedIn || device["last_login_at"].is_null();
        if (device["device_name"] == "Test Machine") mine = &device;
    }
    EXPECT_TRUE(sawNeverSignedIn);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ((*mine)["platform"], "macSA");
    EXPECT_EQ((*mine)["os"], "12.7.0");

    // Signing in again from the same device updates it instead of adding one.
    client->signIn(server.demoEmail(), server.demoPassword(), "uid-list");
    EXPECT_EQ(client->get("/api/devices", token).json().size(), devices.size());

    std::string id = std::to_string((*mine)["id"].get<int64_t>());
    EXPECT_EQ(client->del("/api/devices/" + id).status, 401);
    auto removed = client->del("/api/devices/" + id, token);
    EXPECT_EQ(removed.status, 200);
    EXPECT_TRUE(removed.isJson());
    EXPECT_EQ(client->get("/api/devices", token).json().size(), devices.size() - 1);
    EXPECT_EQ(client->del("/api/devices/" + id, token).status, 404);
    EXPECT_EQ(client->del("/api/devices/x1", token).status, 404);
}

TEST_F(ApiRoutes, AccountDeletionEndsItsSessions) {
    auto signup =
        client->post("/api/auth/email",
                     {{"email", "short.lived@velmora.example"}, {"email_password", "123456"}, {"uid", "u"}});
    std::string token = signup.json()["access_token"];
    EXPECT_EQ(client->get("/api/users/me/plan", token).json()["name"], "Trial");
    EXPECT_EQ(client->get("/api/users/me/delete", token).status, 200);
    EXPECT_EQ(client->get("/api/users/me", token).json()["code"], "E0112");
    EXPECT_TRUE(client->signIn("short.lived@velmora.example", "123456").empty());
}

TEST_F(ApiRoutes, UnknownPathsAndMethodsGetJsonErrors) {
    auto unknown = client->get("/api/no/such/thing", demoToken());
    EXPECT_EQ(unknown.status, 404);
    EXPECT_TRUE(unknown.isJson());
    auto wrongMethod = client->del("/api/users/me/regions", demoToken());
    EXPECT_EQ(wrongMethod.status, 405);
    EXPECT_TRUE(wrongMethod.isJson());
}
