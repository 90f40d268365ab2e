// Token expiry, faults and the request log, in-process and through the "/admin/" endpoints.
#include "tests/standin/StandinServerTest.h"
#include "tests/support/ThreadState.h"
#include "tests/support/WaitFor.h"

#include <chrono>
#include <future>
#include <string>
#include <vector>

using standin::Fault;
using standintest::StandinServerTest;
using namespace std::chrono_literals;

class Admin : public StandinServerTest {};

TEST_F(Admin, ExpiredTokenGetsE0112OnEveryAuthorisedCall) {
    std::string expired = demoToken();
    std::string other = demoToken();
    ASSERT_TRUE(server.expireToken(expired));
    EXPECT_FALSE(server.expireToken("never-issued"));

    for (const char* path : {"/api/users/me/regions", "/api/users/me/plan", "/api/devices"}) {
        auto reply = client->get(path, expired);
        EXPECT_EQ(reply.status, 401);
        EXPECT_EQ(reply.json()["code"], "E0112") << path;
    }
    EXPECT_EQ(client->del("/api/devices/1", expired).json()["code"], "E0112");
    EXPECT_EQ(client
                  ->post("/api/auth/update-password",
                         {{"password", "abcdef"}, {"password_confirmation", "abcdef"}}, expired)
                  .json()["code"],
              "E0112");
    // Only that token is affected.
    EXPECT_EQ(client->get("/api/users/me/plan", other).status, 200);

    // The same through HTTP.
    EXPECT_EQ(client->postRaw("/admin/expire-token?token=" + other, "", "text/plain").status, 200);
    EXPECT_EQ(client->get("/api/users/me/plan", other).json()["code"], "E0112");
    EXPECT_EQ(client->postRaw("/admin/expire-token?token=nope", "", "text/plain").status, 404);
}

TEST_F(Admin, FaultKindsShapeTheReplyOfTheirPathOnly) {
    std::string token = demoToken();
    server.setFault("users/me/regions", Fault{Fault::Kind::Empty, 0ms});
    auto empty = client->get("/api/users/me/regions", token);
    EXPECT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.body.empty());
    EXPECT_EQ(client->get("/api/users/me/plan", token).status, 200); // other paths unaffected

    server.setFault("/api/users/me/regions", Fault{Fault::Kind::NonJson, 0ms});
    auto html = client->get("/api/users/me/regions", token);
    EXPECT_EQ(html.status, 200);
    EXPECT_FALSE(html.body.empty());
    EXPECT_FALSE(html.isJson());

    server.setFault("/api/users/me/regions", Fault{Fault::Kind::NotFoundJson, 0ms});
    auto notFound = client->get("/api/users/me/regions", token);
    EXPECT_EQ(notFound.status, 404);
    EXPECT_EQ(notFound.json()["message"], "Not Found");

    // A fault also hits unauthenticated requests and form posts.
    server.setFault("/api/auth/login/email", Fault{Fault::Kind::Empty, 0ms});
    EXPECT_TRUE(client->signIn(server.demoEmail(), server.demoPassword()).empty());

    server.clearFault("users/me/regions");
    EXPECT_TRUE(client->get("/api/users/me/regions", token).json().is_array());
    server.clearFaults();
    EXPECT_FALSE(client->signIn(server.demoEmail(), server.demoPassword()).empty());
}

TEST_F(Admin, PrefixFaultsCoverEveryPathBelowThem) {
    std::string token = demoToken();
    server.setFault("config/ipsec/*", Fault{Fault::Kind::NotFoundJson, 0ms});
    EXPECT_EQ(client->get("/api/config/ipsec/1", token).status, 404);
    EXPECT_EQ(client->get("/api/config/ipsec/0", token).status, 404);
    EXPECT_EQ(client->get("/api/config/openvpn/1", token).status, 200);
}

TEST_F(Admin, DelayOutlastsTheClientTimeoutThenAnswersNormally) {
    std::string token = demoToken();
    // A delay far past the client's wait, which the stop at the end cuts short.
    server.setFault("/api/users/me/plan", Fault{Fault::Kind::Delay, testsupport::kPatience});
    client->setReadTimeout(300ms);
    EXPECT_EQ(client->get("/api/users/me/plan", token).status, 0); // timed out, no reply

    server.setFault("/api/users/me/plan", Fault{Fault::Kind::Delay, 1500ms});
    client->setReadTimeout(testsupport::kPatience);
    auto start = std::chrono::steady_clock::now();
    auto late = client->get("/api/users/me/plan", token);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);
    EXPECT_EQ(late.json()["status"], "active");
}

TEST_F(Admin, HoldKeepsAnswersUntilTheTestReleasesThemOldestFirst) {
    using Paths = std::vector<std::string>;
    const std::string token = demoToken();
    server.setFault("users/me/*", Fault{Fault::Kind::Hold, 0ms});
    // A client each, so that neither waits for the other's connection; they wait longer than the
    // test does.
    standintest::StandinTestClient first(port, 600), second(port, 600);
    std::future<standintest::Reply> regions, plan;
    // Gone before the replies are waited for, whatever happens below: the held requests go on.
    struct LetGo {
        standin::StandinServer& server;
        ~LetGo() {
            server.clearFaults();
            server.releaseHeld();
        }
    } letGo{server};
    regions = std::async(std::launch::async, [&] { return first.get("/api/users/me/regions", token); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.heldPaths() == Paths{"/api/users/me/regions"}; }));
    plan = std::async(std::launch::async, [&] { return second.get("/api/users/me/plan", token); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.held() == 2; })) << server.held();
    EXPECT_EQ(server.heldPaths(), (Paths{"/api/users/me/regions", "/api/users/me/plan"}));

    server.releaseHeld(1);
    EXPECT_EQ(server.heldPaths(), Paths{"/api/users/me/plan"});
    EXPECT_EQ(regions.get().status, 200);
    server.releaseHeld();
    EXPECT_EQ(server.heldPaths(), Paths{});
    EXPECT_EQ(plan.get().json()["status"], "active");
}

TEST_F(Admin, FaultsThroughHttpValidateTheirArguments) {
    std::string token = demoToken();
    EXPECT_EQ(client->postRaw("/admin/fault?path=devices&kind=nonjson", "", "text/plain").status, 200);
    EXPECT_FALSE(client->get("/api/devices", token).isJson());
    EXPECT_EQ(client->del("/admin/fault?path=/api/devices").status, 200);
    EXPECT_TRUE(client->get("/api/devices", token).isJson());

    auto armed = client->postRaw("/admin/fault?path=devices&kind=delay&ms=20", "", "text/plain").json();
    EXPECT_EQ(armed["path"], "/api/devices");
    EXPECT_EQ(armed["ms"], 20);
    EXPECT_EQ(client->postRaw("/admin/fault?path=devices&kind=delay", "", "text/plain").json()["ms"], 11000);
    EXPECT_EQ(client->postRaw("/admin/fault?path=devices&kind=slow", "", "text/plain").status, 400);
    EXPECT_EQ(client->postRaw("/admin/fault?kind=empty", "", "text/plain").status, 400);
    EXPECT_EQ(client->postRaw("/admin/fault?path=devices&kind=delay&ms=-5", "", "text/plain").status, 400);
    EXPECT_EQ(client->del("/admin/faults").status, 200);
    EXPECT_EQ(client->get("/api/devices", token).status, 200);
}

TEST_F(Admin, StopCutsAnArmedDelayShort) {
    server.setFault("/api/users/me/regions/best", Fault{Fault::Kind::Delay, 60s});
    auto pending =
        std::async(std::launch::async, [this] { return client->get("/api/users/me/regions/best"); });
    // Let the request reach the delay before stopping.
    for (int i = 0; i < 200 && server.requests().empty(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(server.requests().size(), 1u);
    auto start = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(pending.get().status, 200);
}

TEST_F(Admin, RequestLogKeepsHeaderNamesInTheirCaseAndRawBodies) {
    std::string token = demoToken();
    server.clearRequests();
    client->get("/api/users/me/plan?x=1", token);
    client->post("/api/auth/reset-password", {{"email", server.demoEmail()}});
    client->get("/admin/requests"); // administration is not logged

    auto log = server.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/api/users/me/plan");
    EXPECT_EQ(log[0].query, "x=1");
    auto names = log[0].headerNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Cache-control"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Cache-Control"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Authorization"), names.end());
    for (const auto& name : names)
        EXPECT_NE(name, "REMOTE_ADDR");
    EXPECT_TRUE(log[0].body.empty());

    EXPECT_EQ(log[1].method, "POST");
    names = log[1].headerNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Cache-Control"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Authorization"), names.end());
    EXPECT_EQ(log[1].body, standintest::applicationFormBody({{"email", server.demoEmail()}}));
    bool sawType = false;
    for (const auto& [name, value] : log[1].headers)
        if (name == "Content-Type") {
            sawType = true;
            EXPECT_EQ(value, std::string("multipart/form-data; boundary=") + standintest::kBoundary);
        }
    EXPECT_TRUE(sawType);

    auto listed = client->get("/admin/requests").json();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1]["body"], log[1].body);
    EXPECT_EQ(listed[1]["method"], "POST");
    EXPECT_EQ(client->del("/admin/requests").status, 200);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Admin, RequestLogKeepsBodiesThatAreNotText) {
    server.clearRequests();
    std::string bytes("\xff\x00\x01multipart?\r\n", 15);
    client->postRaw("/api/auth/login/email", bytes, "application/octet-stream");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, bytes);
    auto listed = client->get("/admin/requests").json();
    EXPECT_EQ(listed[0]["body_size"], bytes.size());
}

TEST_F(Admin, DemoAccountIsPublishedForScripts) {
    auto account = client->get("/admin/demo-account").json();
    EXPECT_EQ(account["email"], "demo@velmora.example");
    EXPECT_FALSE(client->signIn(account["email"], account["password"]).empty());
}
