#include "tests/utilities/NetworkTestFixture.h"

#include "utilities/TULGzip.h"
#include "utilities/TULNetwork.h"
#include "utilities/TULNetworkConstants.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/Paths.h"

#include <fstream>

namespace {

using namespace plat;
using LocalServer = testsupport::LocalHTTPServer;

struct Reply {
    bool called = false;
    std::optional<HTTPURLResponse> response;
    std::optional<Data> data;
    std::optional<Error> error;
    Object json() const { return data ? JSONSerialization::jsonObject(toString(*data)) : Object(); }
};

class TULNetworkTest : public utiltest::NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        network = TULNetwork::initWithReachabilityHost("tessera.velmora.example", clock);
        ASSERT_TRUE(network);
    }
    TULNetwork::TULNetworkCompletionHandler recordInto(Reply& reply,
                                                       std::optional<DispatchQueue> queue = {}) {
        return [&reply, queue](auto response, auto data, auto error) {
            EXPECT_TRUE(queue ? queue->isCurrent() : isMainThread());
            EXPECT_FALSE(reply.called) << "the completion ran twice";
            reply = Reply{true, std::move(response), std::move(data), std::move(error)};
        };
    }
    Reply post(const Data& payload, bool background, const HTTPHeaderFields& headers = {}) {
        Reply reply;
        auto sessionID = network->postURL(standinURL("/echo/form"), headers, payload, std::nullopt,
                                          background, recordInto(reply));
        EXPECT_TRUE(sessionID);
        EXPECT_TRUE(network->hasUploadInProgress());
        EXPECT_TRUE(pumpUntil([&] { return reply.called; }));
        return reply;
    }
    std::filesystem::path temporaryFolder() const {
        return paths::applicationSupportDir() / "TUL/Network/TULNetworkTemporaryDirectory";
    }

    std::shared_ptr<TULNetwork> network;
};

TEST_F(TULNetworkTest, PostArrivesGzipCompressedAsAFormWithItsLength) {
    const std::string form = "event=launch&count=3&text=" + std::string(2000, 'x');
    for (bool background : {false, true}) {
        SCOPED_TRACE(background ? "background session" : "default session");
        standin.clearRequests();
        // The caller's content type gives way to the form type; its other fields go out.
        Reply reply = post(toData(form), background, {{"Content-Type", "text/plain"}, {"X-Caller", "kept"}});
        ASSERT_TRUE(reply.response);
        EXPECT_FALSE(reply.error);
        EXPECT_EQ(reply.response->statusCode, 200) << (reply.data ? toString(*reply.data) : "");
        Object answer = reply.json();
        EXPECT_EQ(answer["inflated"].string(), form);
        auto gzipped = TULGzip::tul_dataByGzippingData(toData(form));
        ASSERT_TRUE(gzipped);
        EXPECT_EQ(answer["contentLength"].number().int64Value(), static_cast<int64_t>(gzipped->size()));
        EXPECT_LT(gzipped->size(), form.size());

        auto requests = standin.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "POST");
        EXPECT_EQ(toData(requests[0].body), *gzipped);
        auto header = [&](const std::string& name) {
            for (const auto& [field, value] : requests[0].headers)
                if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
            return std::string("(missing)");
        };
        EXPECT_EQ(header("Content-Encoding"), "gzip");
        EXPECT_EQ(header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(header("X-Caller"), "kept");
        EXPECT_FALSE(network->hasUploadInProgress());
    }
    // The background transfer spooled its body into the temporary folder, which is kept out of
    // backups; the spooled file is gone once the transfer ended.
    ASSERT_TRUE(std::filesystem::is_directory(temporaryFolder()));
    EXPECT_EQ(FileManager::isExcludedFromBackup(temporaryFolder()), true);
    EXPECT_TRUE(std::filesystem::is_empty(temporaryFolder()));
}

TEST_F(TULNetworkTest, EmptyPayloadGoesOutAsAnEmptyGzipLabelledBody) {
    Reply reply = post({}, false);
    ASSERT_TRUE(reply.response);
    EXPECT_EQ(reply.response->statusCode, 200) << (reply.data ? toString(*reply.data) : "");
    EXPECT_EQ(reply.json()["contentLength"].number().int64Value(), 0);
    auto requests = standin.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].body.empty());
}

TEST_F(TULNetworkTest, BadRequestsFailAsynchronouslyOnTheCallersQueue) {
    DispatchQueue queue = DispatchQueue::serial("test.caller");
    Reply reply;
    EXPECT_FALSE(network->postURL("", toData("x"), queue, false, recordInto(reply, queue)));
    Reply getReply;
    EXPECT_FALSE(network->getURL("", {}, std::nullopt, false, recordInto(getReply)));
    queue.sync([] {});
    ASSERT_TRUE(reply.called);
    EXPECT_FALSE(getReply.called) << "the main-queue completion must not run before the main queue turns";
    ASSERT_TRUE(pumpUntil([&] { return getReply.called; }));
    for (const Reply* r : {&reply, &getReply}) {
        ASSERT_TRUE(r->error);
        EXPECT_EQ(r->error->domain, "com.tul.network.ErrorDomain");
        EXPECT_EQ(r->error->code, 1);
        EXPECT_EQ(r->error->userInfo.at("Context").string(), "Failed to create network request");
        EXPECT_FALSE(r->response);
        EXPECT_FALSE(r->data);
    }
    // Without a completion nothing is called, and the warning is written all the same.
    EXPECT_FALSE(network->postURL("", toData("x"), std::nullopt, false, nullptr));
    auto warnings = log.withCode("I-NET900002");
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_NE(warnings[0].find(
                  "<Tessera/Utilities/Network/WARNING> Failed to create network request. Code, error: 1, "
                  "Error Domain=com.tul.network.ErrorDomain Code=1"),
              std::string::npos)
        << warnings[0];
}

TEST_F(TULNetworkTest, GetSendsTheCallersFieldsAndReturnsTheBody) {
    Reply reply;
    auto sessionID = network->getURL(standinURL("/echo/query?a=1"), {{"X-Probe", "yes"}}, std::nullopt, true,
                                     recordInto(reply));
    ASSERT_TRUE(sessionID);
    EXPECT_EQ(sessionID->rfind("com.tul.network.background-upload-", 0), 0u);
    ASSERT_TRUE(pumpUntil([&] { return reply.called; }));
    ASSERT_TRUE(reply.response);
    Object answer = reply.json();
    EXPECT_EQ(answer["query"].string(), "a=1");
    EXPECT_EQ(answer["headers"]["X-Probe"].string(), "yes");
    EXPECT_FALSE(network->hasUploadInProgress());
}

TEST_F(TULNetworkTest, RedirectsAndServerErrors) {
    LocalServer local;
    auto redirect = [&](const std::string& path, int status) {
        auto reply = [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_header("Location", "/final");
            res.set_content("moved", "text/plain");
        };
        local.server().Get(path, reply);
        local.server().Post(path, reply);
    };
    for (int status : {301, 302, 303, 307, 308})
        redirect("/r" + std::to_string(status), status);
    local.server().Get("/final", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("arrived by GET", "text/plain");
    });
    local.server().Post("/final", [](const httplib::Request& req, httplib::Response& res) {
        // The test's server inflates the gzip body itself.
        res.set_content("arrived by POST with " + req.body, "text/plain");
    });
    local.server().Get("/fail", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("broken", "text/plain");
    });

    auto get = [&](const std::string& path) {
        Reply reply;
        EXPECT_TRUE(network->getURL(local.url(path), {}, std::nullopt, false, recordInto(reply)));
        EXPECT_TRUE(pumpUntil([&] { return reply.called; }));
        return reply;
    };
    // 300, 301, 302 and 307 are refused: the redirect reply is the answer.
    for (int status : {301, 302}) {
        Reply reply = get("/r" + std::to_string(status));
        ASSERT_TRUE(reply.response);
        EXPECT_EQ(reply.response->statusCode, status);
        EXPECT_FALSE(reply.error);
    }
    for (int status : {303, 308}) {
        Reply reply = get("/r" + std::to_string(status));
        ASSERT_TRUE(reply.response);
        EXPECT_EQ(reply.response->statusCode, 200);
        ASSERT_TRUE(reply.data);
        EXPECT_EQ(toString(*reply.data), "arrived by GET");
    }
    // A POST redirected by 308 is repeated with its body; by 307 it is not followed.
    for (int status : {307, 308}) {
        Reply reply;
        EXPECT_TRUE(network->postURL(local.url("/r" + std::to_string(status)), toData("payload"),
                                     std::nullopt, false, recordInto(reply)));
        ASSERT_TRUE(pumpUntil([&] { return reply.called; }));
        ASSERT_TRUE(reply.response);
        if (status == 307) {
            EXPECT_EQ(reply.response->statusCode, 307);
        } else {
            ASSERT_TRUE(reply.data);
            EXPECT_EQ(toString(*reply.data), "arrived by POST with payload");
        }
    }
    // A server error is an answer, not an error.
    Reply failed = get("/fail");
    ASSERT_TRUE(failed.response);
    EXPECT_EQ(failed.response->statusCode, 500);
    EXPECT_FALSE(failed.error);
    ASSERT_TRUE(failed.data);
    EXPECT_EQ(toString(*failed.data), "broken");
}

TEST_F(TULNetworkTest, TransportFailureReachesTheCallerAsAnError) {
    Reply reply;
    ASSERT_TRUE(
        network->getURL("http://127.0.0.1:9/unreachable", {}, std::nullopt, false, recordInto(reply)));
    ASSERT_TRUE(pumpUntil([&] { return reply.called; }));
    EXPECT_FALSE(reply.response);
    ASSERT_TRUE(reply.error);
    EXPECT_EQ(reply.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(log.withCode("I-NET901017").size(), 1u);
}

TEST_F(TULNetworkTest, ReleasedLayerNeverCallsTheCompletion) {
    standin.setFault("/echo/form",
                     standin::Fault{standin::Fault::Kind::Delay, std::chrono::milliseconds(300)});
    Reply reply;
    ASSERT_TRUE(
        network->postURL(standinURL("/echo/form"), toData("late=1"), std::nullopt, false, recordInto(reply)));
    std::weak_ptr<TULNetwork> weak = network;
    network.reset();
    EXPECT_TRUE(weak.expired());
    // The transfer still ends (the stand-in sees it), but nobody is told.
    ASSERT_TRUE(pumpUntil([&] { return standin.requests().size() == 1u; }));
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(800));
    EXPECT_FALSE(reply.called);
}

TEST_F(TULNetworkTest, ReachabilityOfTheHost) {
    struct Listener : TULNetworkReachabilityDelegate {
        std::vector<bool> seen;
        std::shared_ptr<TULNetwork> network;
        void reachabilityDidChange() override { seen.push_back(network->isNetworkConnected()); }
    };
    auto listener = std::make_shared<Listener>();
    listener->network = network;
    network->setReachabilityDelegate(listener);
    EXPECT_FALSE(network->isNetworkConnected()); // until the first change
    ASSERT_TRUE(pumpUntil([&] { return !listener->seen.empty(); }));
    routes->setFlags(kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsConnectionRequired);
    plat::RunLoop::main().drain();
    routes->setFlags(kSCNetworkReachabilityFlagsReachable);
    plat::RunLoop::main().drain();
    EXPECT_EQ(listener->seen, (std::vector<bool>{true, false, true}));
    listener->network.reset();

    // A host that cannot be watched makes no layer.
    EXPECT_EQ(TULNetwork::initWithReachabilityHost("", clock), nullptr);
}

} // namespace
