// The stand-in's upload service: bodies kept, inflated and decoded; replies with the configured wait;
// the fault hooks, armed in-process and through "/admin/upload".
#include "tests/standin/StandinServerTest.h"

#include "transport/TTWCompressionHelper.h"
#include "transport/TTWLogRequestBuilders.h"
#include "transport/TTWLogResponseDecoding.h"

#include <pb_decode.h>

using standin::UploadFault;
using standintest::StandinServerTest;

namespace {

class Payload : public TTREventDataObject {
public:
    explicit Payload(std::string text) : text_(std::move(text)) {}
    std::optional<plat::Data> transportBytes() const override { return plat::toData(text_); }

private:
    std::string text_;
};

std::string uploadBody(const std::string& mappingID, const std::vector<std::string>& payloads) {
    TTREvents events;
    for (const std::string& payload : payloads) {
        auto event = TTREvent::initWithMappingID(mappingID, 1002);
        event->setDataObject(std::make_shared<Payload>(payload));
        event->setClockSnapshot(TTRClock::snapshot());
        events.push_back(event);
    }
    plat::Data body =
        TTWEncodeBatchedLogRequest(*TTWConstructBatchedLogRequest(TTWGroupEventsByMappingID(events)));
    return std::string(body.begin(), body.end());
}

std::string gzip(const std::string& body) {
    plat::Data zipped = *TTWCompressionHelper::gzippedData(plat::toData(body));
    return std::string(zipped.begin(), zipped.end());
}

} // namespace

class UploadRoutes : public StandinServerTest {
protected:
    httplib::Result upload(const std::string& path, const std::string& body, bool gzipped = false,
                           bool withKey = true) {
        httplib::Headers headers{{"Content-Type", "application/x-protobuf"}};
        if (withKey) headers.emplace("X-Tessera-Api-Key", "key");
        if (gzipped) headers.emplace("Content-Encoding", "gzip");
        return http->Post(path.c_str(), headers, gzipped ? gzip(body) : body, "application/x-protobuf");
    }

    std::optional<ttw_LogResponse> response(const httplib::Result& result) {
        if (!result) return std::nullopt;
        plat::Error error;
        ttw_LogResponse decoded = TTWDecodeLogResponse(plat::toData(result->body), &error);
        if (!error.domain.empty()) return std::nullopt;
        return decoded;
    }

    nlohmann::json bodies(const std::string& query = "") {
        return client->get("/admin/upload/bodies" + query).json();
    }

    void SetUp() override {
        StandinServerTest::SetUp();
        http = std::make_unique<httplib::Client>("127.0.0.1", port);
    }
    std::unique_ptr<httplib::Client> http;
};

TEST_F(UploadRoutes, GzipBodiesAreInflatedKeptDecodedAndAnsweredWithTheConfiguredWait) {
    const std::string body = uploadBody("2101", {"report-1", "report-2"});
    auto first = upload("/v1/crw/batchlog", body, true);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    auto decoded = response(first);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->has_next_request_wait_millis);

    server.uploads().setWait(1002, 2500);
    auto second = upload("/v1/crw/batchlog", body, false);
    ASSERT_TRUE(response(second));
    EXPECT_TRUE(response(second)->has_next_request_wait_millis);
    EXPECT_EQ(response(second)->next_request_wait_millis, 2500);

    nlohmann::json kept = bodies("?target=1002");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0]["content_encoding"], "gzip");
    EXPECT_EQ(kept[0]["size"], body.size());
    EXPECT_NE(kept[0]["wire_size"], body.size());
    EXPECT_EQ(kept[1]["content_encoding"], "");
    const nlohmann::json& request = kept[0]["decoded"]["log_requests"][0];
    EXPECT_EQ(request["log_source"], 2101);
    EXPECT_EQ(request["client_type"], 15);
    ASSERT_EQ(request["events"].size(), 2u);
    EXPECT_EQ(request["events"][0]["payload"], "report-1");
    EXPECT_EQ(request["events"][1]["payload_size"], 8);
    EXPECT_TRUE(bodies("?target=1001").empty());

    // The kept bytes are the inflated body, byte for byte.
    auto raw = client->get("/admin/upload/body?index=0");
    EXPECT_EQ(raw.body, body);
    EXPECT_EQ(client->get("/admin/upload/body?index=9").status, 404);

    EXPECT_EQ(client->del("/admin/upload").status, 200);
    EXPECT_TRUE(bodies().empty());
}

TEST_F(UploadRoutes, BodiesThatDoNotInflateOrDecodeAndKeylessUploadsAreRefused) {
    const std::string body = uploadBody("2102", {"s"});
    EXPECT_EQ(upload("/v1/tlg/batchlog", body, false, false)->status, 403);
    EXPECT_EQ(upload("/v1/ttw/batchlog", body, false, false)->status, 200); // target 1000 has no key

    httplib::Headers claimsGzip{{"X-Tessera-Api-Key", "key"}, {"Content-Encoding", "gzip"}};
    EXPECT_EQ(http->Post("/v1/tlg/batchlog", claimsGzip, body, "application/x-protobuf")->status, 400);
    EXPECT_EQ(upload("/v1/tlg/batchlog", std::string("\x0a\x7f\x01", 3))->status, 400);
    EXPECT_EQ(upload("/v1/tlg/batchlog", gzip(body).substr(0, 12), false)->status, 400);

    nlohmann::json kept = bodies();
    ASSERT_EQ(kept.size(), 5u);
    EXPECT_TRUE(kept[3]["decoded"].is_null());
    EXPECT_FALSE(kept[3]["decode_error"].get<std::string>().empty());
}

TEST_F(UploadRoutes, FaultsShapeTheRepliesOfTheirTargetAndOneTimeFaultsFireOnce) {
    const std::string body = uploadBody("2102", {"s"});
    server.uploads().setFault(1001, *UploadFault::named("429"));
    auto limited = upload("/v1/tlg/batchlog", body);
    EXPECT_EQ(limited->status, 429);
    EXPECT_EQ(limited->get_header_value("Retry-After"), "30");
    EXPECT_EQ(upload("/v1/crw/batchlog", body)->status, 200) << "other targets are not affected";

    EXPECT_EQ(upload("/v1/tlg/batchlog", body)->status, 429) << "a lasting fault stays";
    EXPECT_EQ(
        client->postRaw("/admin/upload/fault?target=1001&kind=429&retry-after=7", "", "text/plain").status,
        200);
    EXPECT_EQ(upload("/v1/tlg/batchlog", body)->get_header_value("Retry-After"), "7");

    for (const char* status : {"400", "404", "500"}) {
        ASSERT_EQ(client
                      ->postRaw(std::string("/admin/upload/fault?target=1001&kind=") + status + "-once", "",
                                "text/plain")
                      .status,
                  200);
        EXPECT_EQ(upload("/v1/tlg/batchlog", body)->status, std::stoi(status));
        EXPECT_EQ(upload("/v1/tlg/batchlog", body)->status, 200) << "a one-time fault fires once";
    }

    EXPECT_EQ(client->del("/admin/upload/faults").status, 200);
    EXPECT_EQ(client->postRaw("/admin/upload/fault?kind=malformed-once", "", "text/plain").status, 200);
    auto malformed = upload("/v1/ttw/batchlog", body);
    EXPECT_EQ(malformed->status, 200);
    EXPECT_FALSE(response(malformed));

    EXPECT_EQ(client->postRaw("/admin/upload/fault?target=1001&kind=drop-once", "", "text/plain").status,
              200);
    auto dropped = upload("/v1/tlg/batchlog", body);
    EXPECT_FALSE(dropped) << "the connection closes before the reply's body";
    EXPECT_EQ(upload("/v1/tlg/batchlog", body)->status, 200);

    EXPECT_EQ(client->postRaw("/admin/upload/fault?kind=teapot", "", "text/plain").status, 400);
    EXPECT_EQ(client->postRaw("/admin/upload/fault?kind=500&target=x", "", "text/plain").status, 400);
    EXPECT_EQ(client->postRaw("/admin/upload/wait?ms=soon", "", "text/plain").status, 400);
    EXPECT_EQ(client->postRaw("/admin/upload/wait?ms=0&target=1002", "", "text/plain").status, 200);
    EXPECT_EQ(server.uploads().wait(1002), 0);
    EXPECT_EQ(server.uploads().wait(1001), std::nullopt);
}

TEST_F(UploadRoutes, RedirectFaultsSendTheTargetToItsRedirectedPathWhichUploadsAsUsual) {
    const std::string body = uploadBody("2101", {"r"});
    server.uploads().setFault(1002, *UploadFault::named("redirect-302-once"));
    auto moved = upload("/v1/crw/batchlog", body);
    EXPECT_EQ(moved->status, 302);
    EXPECT_EQ(moved->get_header_value("Location"), "/v1/redirected/1002");
    EXPECT_EQ(upload("/v1/redirected/1002", body)->status, 200);
    EXPECT_EQ(upload("/v1/redirected/1999", body)->status, 404);
    nlohmann::json kept = bodies("?target=1002");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0]["status"], 302);
    EXPECT_EQ(kept[1]["path"], "/v1/redirected/1002");
}
