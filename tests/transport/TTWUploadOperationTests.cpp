// One upload attempt against the stand-in: readiness, the request it sends, and what each kind of
// reply does to the stored events, the next upload time and the client metrics.
#include "UploadTestSupport.h"

#include "transport/TTRConsoleLogger.h"

#include "promises/TPRPromiseFunctions.h"
#include "tests/support/WireRecorder.h"

#include <strings.h>

using namespace transporttest;
using standin::UploadFault;

namespace {

constexpr uint32_t kWifi = TTRUploadConditionWifiData;
constexpr uint32_t kForced = TTRUploadConditionWifiData | TTRUploadConditionHighPriority;

std::string header(const standin::UploadRecord& record, const std::string& name) {
    for (const auto& [key, value] : record.headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return "";
}

} // namespace

class UploadOperation : public UploadTest {};

TEST_F(UploadOperation, SuccessSendsTheBatchDeletesItAndHoldsTheTargetForTheServersWait) {
    storeEvent("2102", 1001, "session-1");
    storeEvent("2102", 1001, "session-2");
    server.uploads().setWait(1001, 60000);
    auto operation = runOperation(1001, kWifi);
    EXPECT_TRUE(operation->uploadAttempted());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(storedEvents(1001), 0u);

    std::vector<standin::UploadRecord> records = server.uploads().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, 200);
    EXPECT_FALSE(header(records[0], "X-Tessera-Api-Key").empty());
    EXPECT_EQ(header(records[0], "User-Agent"), "tesseratransport/0.0.1 tlgsupport/0.0.1 apple/");
    EXPECT_EQ(header(records[0], "Content-Type"), "application/x-protobuf");
    EXPECT_EQ(header(records[0], "Accept-Encoding"), "gzip");
    // Gzip is used exactly when it came out shorter.
    EXPECT_EQ(records[0].contentEncoding == "gzip", records[0].wireSize < records[0].body.size());
    nlohmann::json body = receivedBodies(1001).at(0);
    EXPECT_EQ(payloadsOf(body), (std::vector<std::string>{"session-1", "session-2"}));
    // Nothing was counted yet, so there are no metrics to take; taking them starts the window.
    EXPECT_TRUE(clientMetricsOf(body).is_null()) << body.dump();

    std::optional<int64_t> wait = waitAheadMillis(1001);
    ASSERT_TRUE(wait);
    EXPECT_NEAR(static_cast<double>(*wait), 60000, 5000);

    // The wait holds the next regular upload back; a forced one goes all the same.
    storeEvent("2102", 1001, "session-3");
    EXPECT_FALSE(runOperation(1001, kWifi)->uploadAttempted());
    EXPECT_EQ(storedEvents(1001), 1u);
    EXPECT_TRUE(runOperation(1001, kForced)->uploadAttempted());
    EXPECT_EQ(storedEvents(1001), 0u);
    std::vector<nlohmann::json> bodies = receivedBodies(1001);
    ASSERT_EQ(bodies.size(), 2u);
    // The metrics event rides along in its own log request, with the storage's figures.
    nlohmann::json counts = clientMetricsOf(bodies[1]);
    ASSERT_TRUE(counts.is_object()) << bodies[1].dump();
    EXPECT_EQ(counts["max_cache_size_bytes"], 20000000);
    EXPECT_EQ(counts["bundle_id"], "io.velmora.mac");
    EXPECT_TRUE(counts["log_source_metrics"].empty());
}

TEST_F(UploadOperation, RepliesWithoutAWaitHoldTheTargetForFifteenMinutesAndLargeBatchesGoGzipped) {
    std::string large(20000, 'x');
    storeEvent("2101", 1002, large);
    runOperation(1002, kWifi, false);
    std::vector<standin::UploadRecord> records = server.uploads().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].contentEncoding, "gzip");
    EXPECT_LT(records[0].wireSize, 1000u);
    EXPECT_EQ(header(records[0], "User-Agent"), "tesseratransport/0.0.1 crwsupport/0.0.1 apple/");
    EXPECT_TRUE(clientMetricsOf(receivedBodies(1002).at(0)).is_null()) << "no metrics without a controller";
    std::optional<int64_t> wait = waitAheadMillis(1002);
    ASSERT_TRUE(wait);
    EXPECT_NEAR(static_cast<double>(*wait), 900000, 5000);
}

TEST_F(UploadOperation, TooManyRequestsKeepsTheEventsHonoursRetryAfterAndGivesTheMetricsBack) {
    // A storage-full drop is counted before the upload.
    metrics->logEventsDroppedForReason(2, {makeEvent("2102", 1001)});
    storeEvent("2102", 1001, "kept");
    server.uploads().setFault(1001, *UploadFault::named("429-once"));
    EXPECT_TRUE(runOperation(1001, kWifi)->uploadAttempted());
    EXPECT_EQ(storedEvents(1001), 1u);
    std::optional<int64_t> wait = waitAheadMillis(1001);
    ASSERT_TRUE(wait);
    EXPECT_NEAR(static_cast<double>(*wait), 30000, 5000);

    // The counts went back, so the next upload reports them again.
    runOperation(1001, kForced);
    EXPECT_EQ(storedEvents(1001), 0u);
    std::vector<nlohmann::json> bodies = receivedBodies(1001);
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(payloadsOf(bodies[1]), std::vector<std::string>{"kept"});
    nlohmann::json counts = clientMetricsOf(bodies[1]);
    ASSERT_EQ(counts["log_source_metrics"].size(), 1u) << counts.dump();
    EXPECT_EQ(counts["log_source_metrics"][0]["log_source"], "2102");
    EXPECT_EQ(counts["log_source_metrics"][0]["log_event_dropped"][0]["reason"], 2);
}

TEST_F(UploadOperation, BadRequestDeletesTheEventsAndTheNextUploadReportsThemDroppedByTheServer) {
    storeEvent("2102", 1001, "refused-1");
    storeEvent("2102", 1001, "refused-2");
    server.uploads().setFault(1001, *UploadFault::named("400-once"));
    runOperation(1001, kWifi);
    EXPECT_EQ(storedEvents(1001), 0u);

    storeEvent("2102", 1001, "after");
    runOperation(1001, kForced);
    std::vector<nlohmann::json> bodies = receivedBodies(1001);
    ASSERT_EQ(bodies.size(), 2u);
    nlohmann::json counts = clientMetricsOf(bodies[1]);
    int64_t sessionsDropped = 0;
    for (const auto& source : counts["log_source_metrics"])
        if (source["log_source"] == "2102")
            for (const auto& dropped : source["log_event_dropped"])
                if (dropped["reason"] == 5) sessionsDropped += dropped["events_dropped_count"].get<int64_t>();
    EXPECT_EQ(sessionsDropped, 2) << counts.dump();
}

TEST_F(UploadOperation, TransientStatusesKeepTheEventsAndTransportFailuresRecordNoWait) {
    storeEvent("2101", 1002, "report");
    for (const char* fault : {"404-once", "500-once"}) {
        server.uploads().setFault(1002, *UploadFault::named(fault));
        EXPECT_TRUE(runOperation(1002, kForced)->uploadAttempted());
        EXPECT_EQ(storedEvents(1002), 1u) << fault;
    }
    uploader->setNextUploadTime(nullptr, 1002);
    server.uploads().setFault(1002, *UploadFault::named("drop-once"));
    EXPECT_TRUE(runOperation(1002, kForced)->uploadAttempted());
    EXPECT_EQ(storedEvents(1002), 1u);
    EXPECT_FALSE(waitAheadMillis(1002)) << "no reply, no wait";
    EXPECT_EQ(server.uploads().records().size(), 3u);
}

TEST_F(UploadOperation, AMalformedReplyFallsBackToFifteenMinutesAndHostileWaitsAreClamped) {
    storeEvent("2102", 1001, "a");
    server.uploads().setFault(1001, *UploadFault::named("malformed-once"));
    LogCapture log;
    int previous = TTRConsoleLoggerLoggingLevel.exchange(1);
    runOperation(1001, kForced);
    TTRConsoleLoggerLoggingLevel = previous;
    EXPECT_TRUE(log.contains("There was a response decoding error:"));
    EXPECT_EQ(storedEvents(1001), 0u) << "a 200 deletes whatever the body";
    EXPECT_NEAR(static_cast<double>(waitAheadMillis(1001).value_or(0)), 900000, 5000);

    server.uploads().setWait(1001, -5000);
    storeEvent("2102", 1001, "b");
    runOperation(1001, kForced);
    EXPECT_NEAR(static_cast<double>(waitAheadMillis(1001).value_or(-1)), 0, 5000);

    server.uploads().setWait(1001, INT64_MAX);
    storeEvent("2102", 1001, "c");
    runOperation(1001, kForced);
    EXPECT_NEAR(static_cast<double>(waitAheadMillis(1001).value_or(0)), kTTWMaxNextUploadWaitMillis, 5000);
}

TEST_F(UploadOperation, NoNetworkSendsNothingAndRegularUploadsSkipTierTwo) {
    storeEvent("2102", 1001, "tier-2", 2);
    auto offline = runOperation(1001, TTRUploadConditionNoNetwork | TTRUploadConditionHighPriority);
    EXPECT_FALSE(offline->uploadAttempted());
    EXPECT_FALSE(waitAheadMillis(1001));

    // Only tier 2 is stored, so a regular pass finds nothing to send.
    EXPECT_FALSE(runOperation(1001, kWifi)->uploadAttempted());
    EXPECT_EQ(storedEvents(1001), 1u);
    EXPECT_TRUE(server.uploads().records().empty());
    EXPECT_TRUE(runOperation(1001, kForced)->uploadAttempted());
    EXPECT_EQ(storedEvents(1001), 0u);
}

TEST_F(UploadOperation, RedirectsCarryTheKeyOnlyOnTheConfiguredServer) {
    // On the configured server a 302 is sent again as the operation's own request.
    storeEvent("2101", 1002, "moved");
    server.uploads().setFault(1002, *UploadFault::named("redirect-302-once"));
    runOperation(1002, kForced);
    std::vector<standin::UploadRecord> records = server.uploads().records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].status, 302);
    EXPECT_EQ(records[1].path, "/v1/redirected/1002");
    EXPECT_EQ(records[1].status, 200);
    EXPECT_EQ(records[1].body, records[0].body);
    EXPECT_EQ(header(records[1], "X-Tessera-Api-Key"), header(records[0], "X-Tessera-Api-Key"));
    EXPECT_FALSE(header(records[1], "X-Tessera-Api-Key").empty());
    EXPECT_EQ(header(records[1], "User-Agent"), "tesseratransport/0.0.1 crwsupport/0.0.1 apple/");
    EXPECT_EQ(storedEvents(1002), 0u);

    // Another port is another server: a 302 goes there as the keyless target's request, and a 307
    // (sent on as proposed) loses the key. The stand-in plays the other server.
    const std::string elsewhere =
        uploadURL(1002).substr(0, uploadURL(1002).find("/v1/")) + "/v1/redirected/1002";
    for (int status : {302, 307}) {
        SCOPED_TRACE(status);
        storeEvent("2101", 1002, "moved away");
        testsupport::WireRecorder configured(
            testsupport::WireRecorder::reply(status, {{"Location", elsewhere}}));
        runOperation(1002, kForced, true, configured.url("/v1/crw/batchlog"));
        ASSERT_EQ(configured.requests().size(), 1u);
        EXPECT_FALSE(configured.requests()[0].header("X-Tessera-Api-Key").value_or("").empty());
        const standin::UploadRecord arrived = server.uploads().records().back();
        EXPECT_EQ(arrived.path, "/v1/redirected/1002");
        EXPECT_EQ(arrived.wireSize, configured.requests()[0].body.size()) << "the same body";
        EXPECT_EQ(header(arrived, "X-Tessera-Api-Key"), "");
        EXPECT_EQ(header(arrived, "User-Agent"), status == 302
                                                     ? "tesseratransport/0.0.1 ttwsupport/0.0.1 apple/"
                                                     : "tesseratransport/0.0.1 crwsupport/0.0.1 apple/");
        // Without its key the other server refuses the batch.
        EXPECT_EQ(arrived.status, 403);
    }
}

TEST_F(UploadOperation, A307Or308BackFromAnotherServerCarriesTheKeyHomeAndTheBatchIsAccepted) {
    // The configured server sends the upload to another one, which sends it back unchanged.
    for (int status : {307, 308}) {
        SCOPED_TRACE(status);
        server.uploads().reset();
        storeEvent("2101", 1002, "round trip");
        testsupport::WireRecorder elsewhere(
            testsupport::WireRecorder::reply(status, {{"Location", uploadURL(1002)}}));
        UploadFault away = *UploadFault::named("redirect-" + std::to_string(status) + "-once");
        away.location = elsewhere.url("/v1/crw/batchlog");
        server.uploads().setFault(1002, away);
        runOperation(1002, kForced);
        ASSERT_EQ(elsewhere.requests().size(), 1u);
        EXPECT_FALSE(elsewhere.requests()[0].header("X-Tessera-Api-Key"));
        std::vector<standin::UploadRecord> records = server.uploads().records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].status, status);
        EXPECT_EQ(records[1].path, "/v1/crw/batchlog");
        EXPECT_EQ(records[1].body, records[0].body);
        EXPECT_FALSE(header(records[1], "X-Tessera-Api-Key").empty());
        EXPECT_EQ(header(records[1], "X-Tessera-Api-Key"), header(records[0], "X-Tessera-Api-Key"));
        EXPECT_EQ(records[1].status, 200) << "accepted, not refused for a missing key";
        EXPECT_EQ(storedEvents(1002), 0u);
    }
}

TEST_F(UploadOperation, AnEmptyBodyIsAFailedAttemptThatReturnsTheBatchAndRecordsNoWait) {
    storeEvent("2102", 1001, "x");
    // A batch whose events did not come along encodes to no bytes at all.
    auto batch = await<std::optional<int64_t>>([&](std::function<void(std::optional<int64_t>)> done) {
        storage.storage->batchWithEventSelector(
            TTRStorageEventSelector::eventSelectorForTarget(1001),
            plat::Date{plat::Date::now().secondsSince1970 + 600},
            [done](std::optional<int64_t> id, std::optional<TTREvents>) { done(id); });
    });
    ASSERT_TRUE(batch);
    EXPECT_EQ(storedEvents(1001), 0u);
    auto operation = TTWUploadOperation::initWithTarget(
        1001, kForced, uploadURL(1001), uploader->uploadQueue(), storage.storage, uploader, metrics);
    TPRPromise::Ptr settled =
        operation->uploadBatch(TTRUploadBatch::initWithBatchID(*batch, {}), 1001, storage.storage);
    std::optional<plat::Error> error;
    TPRPromiseAwait(settled, &error);
    EXPECT_FALSE(error);
    storage.drain();
    EXPECT_TRUE(server.uploads().records().empty());
    EXPECT_EQ(storedEvents(1001), 1u) << "the batch's event is back in the store";
    EXPECT_FALSE(waitAheadMillis(1001));
}

TEST_F(UploadOperation, ACancelledOperationFinishesWithoutSending) {
    storeEvent("2102", 1001, "x");
    auto operation = TTWUploadOperation::initWithTarget(
        1001, kForced, uploadURL(1001), uploader->uploadQueue(), storage.storage, uploader, metrics);
    operation->cancel();
    EXPECT_TRUE(operation->isFinished());
    operation->start();
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_FALSE(operation->uploadAttempted());
    EXPECT_TRUE(server.uploads().records().empty());
}
