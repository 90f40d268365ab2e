// The REST client's transport against the stand-in: wire format, bearer rules, reply handling and
// the queue every completion runs on.
#include "app/network/Client.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLError.h"
#include "tests/app/service/StandinFixture.h"

#include <gtest/gtest.h>

#include <thread>

using servicetest::ConsoleCapture;
using servicetest::Reply;
using servicetest::StandinTest;
using standin::Fault;

namespace {

const std::string kBoundaryLine = "----------------------------731964205518830247196052";

std::optional<std::string> header(const standin::RequestLogEntry& entry, const std::string& name) {
    for (const auto& [n, v] : entry.headers)
        if (n == name) return v;
    return std::nullopt;
}

bool hasHeaderNamedIgnoringCase(const standin::RequestLogEntry& entry, const std::string& name) {
    for (const auto& [n, v] : entry.headers)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return true;
    return false;
}

// Counts a notification while it lives.
struct NotificationCount {
    explicit NotificationCount(const std::string& name)
        : token(plat::NotificationCenter::defaultCenter().addObserver(
              name, {}, [this](const plat::Notification&) { ++count; })) {}
    int count = 0;
    plat::NotificationCenter::Token token;
};

class ClientTransport : public StandinTest {
protected:
    Client& client = Client::shared();
    std::string base() const { return server_.baseURL(); }
    standin::RequestLogEntry onlyRequest() {
        auto requests = server_.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? standin::RequestLogEntry{} : requests.back();
    }
};

} // namespace

TEST_F(ClientTransport, FormPostWireFormatIsExact) {
    Reply reply;
    client.post(base() + "auth/reset-password", {{"email", "demo@velmora.example"}}, false, reply.post());
    waitFor([&] { return reply.called; });

    auto request = onlyRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/auth/reset-password");
    EXPECT_EQ(request.body, kBoundaryLine + "\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n" +
                                "demo@velmora.example\r\n" + kBoundaryLine + "--\r\n");
    EXPECT_EQ(header(request, "Accept"), "application/json");
    EXPECT_EQ(header(request, "Cache-Control"), "no-cache");
    EXPECT_EQ(header(request, "Content-Type"),
              "multipart/form-data; boundary=--------------------------731964205518830247196052");
    EXPECT_FALSE(hasHeaderNamedIgnoringCase(request, "Authorization"));
    EXPECT_FALSE(hasHeaderNamedIgnoringCase(request, "Expect"));
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.onMain);

    EXPECT_EQ(plat::toString(Client::multipartBody({})), kBoundaryLine + "--\r\n");
}

TEST_F(ClientTransport, GetSendsLowerCaseCacheControlAndBearerEvenWithoutToken) {
    Reply reply;
    client.userInformation(reply.get());
    waitFor([&] { return reply.called; });
    auto request = onlyRequest();
    EXPECT_EQ(header(request, "Accept"), "application/json");
    EXPECT_EQ(header(request, "Cache-control"), "no-cache"); // this spelling, not "Cache-Control"
    EXPECT_FALSE(header(request, "Cache-Control").has_value());
    // "Bearer " with nothing after the blank. The server's parser drops trailing blanks from field
    // values, so the exact text is checked on the client's side as well.
    EXPECT_EQ(plat::headerValue(client.authHeaders(), "Authorization"), "Bearer ");
    auto authorization = header(request, "Authorization");
    ASSERT_TRUE(authorization.has_value());
    EXPECT_TRUE(*authorization == "Bearer " || *authorization == "Bearer") << *authorization;
    EXPECT_TRUE(reply.onMain);
    EXPECT_EQ(reply.json->type(), JSON::Type::dictionary); // the stand-in's "Unauthenticated." reply
}

TEST_F(ClientTransport, PostCarriesTheTokenOnlyWhenAskedAndStored) {
    Reply withoutToken;
    client.resetPasswordWithPassword("ignored@velmora.example", "n3w-passw0rd", withoutToken.post());
    waitFor([&] { return withoutToken.called; });
    EXPECT_FALSE(hasHeaderNamedIgnoringCase(onlyRequest(), "Authorization"));

    std::string token = signInDemo();
    Reply withToken;
    client.resetPasswordWithPassword("ignored@velmora.example", "n3w-passw0rd", withToken.post());
    waitFor([&] { return withToken.called; });
    auto request = onlyRequest();
    EXPECT_EQ(header(request, "Authorization"), "Bearer " + token);
    EXPECT_EQ(request.body, kBoundaryLine + "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n" +
                                "n3w-passw0rd\r\n" + kBoundaryLine +
                                "\r\nContent-Disposition: form-data; name=\"password_confirmation\"\r\n\r\n" +
                                "n3w-passw0rd\r\n" + kBoundaryLine + "--\r\n");
    EXPECT_EQ(withToken.status, 200);

    server_.clearRequests();
    Reply unauthorised;
    client.resetPassword("demo@velmora.example", unauthorised.post()); // auth false: token stays home
    waitFor([&] { return unauthorised.called; });
    EXPECT_FALSE(hasHeaderNamedIgnoringCase(onlyRequest(), "Authorization"));
}

TEST_F(ClientTransport, ExpiredSessionNotifiesInsteadOfCompletingForGetAndDelete) {
    std::string token = signInDemo();
    ASSERT_TRUE(server_.expireToken(token));
    NotificationCount logout("logout");
    NotificationCount relogin("needsRelogin");

    Reply get;
    client.userCurrentPlan(get.get());
    waitFor([&] { return logout.count == 1; });
    bool deleteCompleted = false;
    client.deleteDevice("1", [&](std::optional<plat::Error>) { deleteCompleted = true; });
    waitFor([&] { return relogin.count == 1; });

    // A form post hands the same reply to its caller.
    Reply post;
    client.resetPasswordWithPassword("", "n3w-passw0rd", post.post());
    waitFor([&] { return post.called; });
    EXPECT_EQ(post.status, 401);
    EXPECT_EQ((*post.json)["code"].stringValue(), "E0112");

    plat::RunLoop::main().drain();
    EXPECT_FALSE(get.called);
    EXPECT_FALSE(deleteCompleted);
    EXPECT_EQ(logout.count, 1);
    EXPECT_EQ(relogin.count, 1);
}

TEST_F(ClientTransport, InvalidURLCompletesAtOnceOnTheCallingThread) {
    Reply get;
    client.get("http://127.0.0.1:1/has space", true, get.get());
    ASSERT_TRUE(get.called);  // before the call returned
    EXPECT_FALSE(get.onMain); // not from a main-queue block
    EXPECT_EQ(get.error, plat::Error("Invalid URL", 0));
    EXPECT_TRUE(get.error->userInfo.empty());
    EXPECT_FALSE(get.json.has_value());

    std::thread::id calledOn;
    std::optional<int> status = 7;
    std::thread worker([&] {
        client.post("not a url", {}, false,
                    [&](std::optional<plat::Error>, std::optional<JSON>, std::optional<int> s) {
                        calledOn = std::this_thread::get_id();
                        status = s;
                    });
    });
    auto workerId = worker.get_id();
    worker.join();
    EXPECT_EQ(calledOn, workerId);
    EXPECT_EQ(status, std::nullopt);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(ClientTransport, StatusDoesNotDecideAndNonObjectBodiesPassThrough) {
    server_.setFault("users/me/ip", Fault{Fault::Kind::NotFoundJson, {}});
    Reply notFound;
    client.userIp(notFound.get());
    Reply array;
    signInDemo();
    client.userPlans(array.get());
    waitFor([&] { return notFound.called && array.called; });
    EXPECT_FALSE(notFound.error.has_value());
    EXPECT_EQ((*notFound.json)["message"].stringValue(), "Not Found");
    EXPECT_FALSE(array.error.has_value());
    EXPECT_EQ(array.json->type(), JSON::Type::array);
    EXPECT_TRUE(notFound.onMain && array.onMain);
}

TEST_F(ClientTransport, EmptyAndNonJSONBodies) {
    ConsoleCapture console;
    server_.setFault("users/me", Fault{Fault::Kind::Empty, {}});
    server_.setFault("users/me/ip", Fault{Fault::Kind::NonJson, {}});
    server_.setFault("auth/reset-password", Fault{Fault::Kind::Empty, {}});
    server_.setFault("auth/verify-code", Fault{Fault::Kind::NonJson, {}});

    Reply emptyGet, htmlGet, emptyPost, htmlPost;
    client.userInformation(emptyGet.get());
    client.userIp(htmlGet.get());
    client.resetPassword("demo@velmora.example", emptyPost.post());
    client.resetPasswordWithCode("demo@velmora.example", "123456", htmlPost.post());
    waitFor([&] { return emptyGet.called && htmlGet.called && emptyPost.called && htmlPost.called; });

    EXPECT_EQ(emptyGet.error, plat::Error("Unknown error", 0));
    EXPECT_EQ(htmlGet.error, plat::Error("Unknown error", 0));
    EXPECT_EQ(emptyPost.error, plat::Error("No data received", 0));
    EXPECT_EQ(emptyPost.status, 200);
    ASSERT_TRUE(htmlPost.error.has_value());
    EXPECT_NE(htmlPost.error->domain, "Unknown error"); // the parser's own error
    EXPECT_EQ(htmlPost.status, 200);
    EXPECT_FALSE(emptyGet.json || htmlGet.json || emptyPost.json || htmlPost.json);
    EXPECT_TRUE(emptyGet.onMain && htmlGet.onMain && emptyPost.onMain && htmlPost.onMain);
    EXPECT_EQ(console.countStartingWith("JSON Parsing Error: "), 1u);
    EXPECT_EQ(console.countStartingWith("GET: " + base() + "users/me\n "), 1u);
}

TEST_F(ClientTransport, TimeoutEndsInTheTransportError) {
    // The stand-in keeps both requests until the test ends, so only the time-out can answer them.
    Client::setRequestTimeoutForTesting(0.5);
    server_.setFault("users/me", Fault{Fault::Kind::Hold});
    server_.setFault("auth/reset-password", Fault{Fault::Kind::Hold});
    ConsoleCapture console;
    Reply get, post;
    client.userInformation(get.get());
    client.resetPassword("demo@velmora.example", post.post());
    waitFor([&] { return get.called && post.called; });
    EXPECT_EQ(get.error, plat::URLError::make(plat::URLError::TimedOut));
    EXPECT_EQ(post.error, plat::URLError::make(plat::URLError::TimedOut));
    EXPECT_FALSE(post.status.has_value());
    EXPECT_TRUE(get.onMain && post.onMain);
    EXPECT_EQ(console.countStartingWith("Error: "), 1u);
}

namespace {

// Sets $VELMORA_REQUEST_TIMEOUT_SECONDS (none unsets it) for the client's next read of it, and
// unsets it again at the end.
struct TimeoutVariable {
    explicit TimeoutVariable(const char* value) {
        if (value)
            setenv("VELMORA_REQUEST_TIMEOUT_SECONDS", value, 1);
        else
            unsetenv("VELMORA_REQUEST_TIMEOUT_SECONDS");
        Client::setRequestTimeoutForTesting(std::nullopt);
    }
    ~TimeoutVariable() { unsetenv("VELMORA_REQUEST_TIMEOUT_SECONDS"); }
};

} // namespace

TEST_F(ClientTransport, RequestTimeoutComesFromTheVariableOrIsTenSeconds) {
    const std::pair<const char*, double> kept[] = {{nullptr, 10},      {"", 10},           {"2.5", 2.5},
                                                   {"0.0004", 0.0004}, {"1e-300", 1e-300}, {"86400", 86400}};
    for (auto [value, seconds] : kept) {
        TimeoutVariable variable(value);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Client::requestTimeout(), seconds) << (value ? value : "unset");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << (value ? value : "unset");
    }
    // Each refused value is named once, however many requests read it.
    for (const char* value : {"abc", "-5", "0", "1e400", "nan", "inf", "2 ", " 2", "86400.5", "3s"}) {
        TimeoutVariable variable(value);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Client::requestTimeout(), 10) << value;
        EXPECT_EQ(Client::requestTimeout(), 10) << value;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "velmora: VELMORA_REQUEST_TIMEOUT_SECONDS='" + std::string(value) +
                      "' is not a number of seconds above 0 and up to 86400 (a day); using 10 seconds\n");
    }
}

TEST_F(ClientTransport, TinyTimeoutFromTheVariableStillEndsAHeldRequest) {
    server_.setFault("users/me", Fault{Fault::Kind::Hold});
    server_.setFault("auth/reset-password", Fault{Fault::Kind::Hold});
    const char* values[] = {"0.0004", "1e-300"};
    Reply gets[2], posts[2];
    for (int i = 0; i < 2; ++i) {
        TimeoutVariable variable(values[i]);
        client.userInformation(gets[i].get());
        client.resetPassword("demo@velmora.example", posts[i].post());
        waitFor([&] { return gets[i].called && posts[i].called; }, std::chrono::seconds(5));
        EXPECT_EQ(gets[i].error, plat::URLError::make(plat::URLError::TimedOut)) << values[i];
        EXPECT_EQ(posts[i].error, plat::URLError::make(plat::URLError::TimedOut)) << values[i];
    }
    // Requests a broken client left waiting answer now, before their replies go.
    server_.releaseHeld();
    waitFor([&] { return gets[0].called && posts[0].called && gets[1].called && posts[1].called; });
}
