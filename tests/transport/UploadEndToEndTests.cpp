// The whole upload path on the real clock: storage, coordinator timer, uploader and operation against
// the stand-in. Stored events leave on the first pass and the body the stand-in kept decodes with
// protoc against our schema; tier-4 events force an upload past the server's wait; a megabyte
// payload arrives whole.
#include "UploadTestSupport.h"

#include "tests/support/WaitFor.h"
#include "transport/TTRApplication.h"
#include "transport/TTRUploadCoordinator.h"

#include <zlib.h>

#include <chrono>
#include <thread>

using namespace transporttest;
using namespace std::chrono_literals;

namespace {

class UploadEndToEnd : public UploadTest {
protected:
    void SetUp() override {
        for (int64_t target : {1001, 1002}) {
            registrar->registerUploader(uploader, target);
            registrar->registerStorage(storage.storage, target);
        }
        registrar->registerMetricsController(metrics, 1002);
        registrar->registerMetricsController(metrics, 1001);
        TTRUploadCoordinator::Configuration configuration;
        configuration.registrar = registrar;
        configuration.reachabilityFlags = [] { return 0x2u; };
        coordinator = TTRUploadCoordinator::makeCoordinator(std::move(configuration));
        storage.storage->setUploadCoordinator(coordinator);
    }
    void TearDown() override {
        coordinator->appWillTerminate(TTRApplication::sharedApplication());
        coordinator->coordinationQueue().sync([] {});
    }

    // Waits up to `limit` for the stand-in to hold `count` uploads of the target.
    bool waitForUploads(int64_t target, size_t count,
                        std::chrono::milliseconds limit = testsupport::kPatience) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (receivedBodies(target).size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        uploader->waitUntilAllOperationsAreFinished();
        storage.drain();
        return true;
    }

    TesseraBase base{"http://127.0.0.1:" + std::to_string(port)};
    std::shared_ptr<TTRUploadCoordinator> coordinator;
};

std::string header(const standin::UploadRecord& record, const std::string& name) {
    for (const auto& [key, value] : record.headers)
        if (key == name) return value;
    return "";
}

} // namespace

TEST_F(UploadEndToEnd, StoredEventsLeaveOnTheFirstPassAndTheKeptBodyDecodesWithProtoc) {
    std::shared_ptr<TTREvent> first = storeEvent("2102", 1001, "session-start");
    storeEvent("2102", 1001, "session-start-2");
    const auto started = std::chrono::steady_clock::now();
    coordinator->startTimer();
    ASSERT_TRUE(waitForUploads(1001, 1));
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, 450ms);
    EXPECT_LT(elapsed, TTRUploadCoordinator::kTimerInterval)
        << "the first pass, not the one 30 seconds later";
    EXPECT_EQ(storedEvents(1001), 0u);

    standin::UploadRecord record = server.uploads().records().at(0);
    EXPECT_EQ(header(record, "User-Agent"), "tesseratransport/0.0.1 tlgsupport/0.0.1 apple/");
    EXPECT_FALSE(header(record, "X-Tessera-Api-Key").empty());
    EXPECT_EQ(header(record, "Content-Type"), "application/x-protobuf");
    EXPECT_EQ(record.contentEncoding == "gzip", record.wireSize < record.body.size());

    const plat::Data body = plat::toData(record.body);
    std::string text = protocDecode(body, "ttw.BatchedLogRequest", "ttw_upload.proto");
    EXPECT_NE(text.find("client_type: 15"), std::string::npos) << text;
    EXPECT_NE(text.find("log_source: 2102"), std::string::npos) << text;
    EXPECT_NE(text.find("payload: \"session-start\""), std::string::npos) << text;
    EXPECT_NE(text.find("payload: \"session-start-2\""), std::string::npos) << text;
    EXPECT_NE(text.find("application_bundle_id: \"io.velmora.mac\""), std::string::npos) << text;
    const int64_t offset = first->clockSnapshot()->timezoneOffsetSeconds();
    EXPECT_NE(text.find("timezone_offset_seconds: " + std::to_string(offset)), std::string::npos) << text;
    EXPECT_NE(text.find("event_time_ms: " + std::to_string(first->clockSnapshot()->timeMillis())),
              std::string::npos);

    // The raw form carries the offset zigzag-encoded in field 15 of each event (field 3).
    std::string raw = protocDecode(body, "", "");
    const uint64_t zigzag = (static_cast<uint64_t>(offset) << 1) ^ static_cast<uint64_t>(offset >> 63);
    EXPECT_NE(raw.find("15: " + std::to_string(zigzag)), std::string::npos) << raw;
    EXPECT_NE(raw.find("2: 2102"), std::string::npos) << raw;
}

TEST_F(UploadEndToEnd, TierFourEventsForceAnUploadPastTheWaitAndAMegabytePayloadArrivesWhole) {
    server.uploads().setWait(1002, 600000);
    storeEvent("2101", 1002, "report-1", 4);
    ASSERT_TRUE(waitForUploads(1002, 1));
    EXPECT_NEAR(static_cast<double>(waitAheadMillis(1002).value_or(0)), 600000, 5000);

    // Past the 16-bit counts of the nanopb arrays: the payload goes through a callback.
    plat::Data megabyte(1 << 20);
    for (size_t i = 0; i < megabyte.size(); ++i)
        megabyte[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    std::shared_ptr<TTREvent> big = TTREvent::initWithMappingID("2101", 1002);
    big->setDataObject(std::make_shared<BytesObject>(megabyte));
    big->setQosTier(4);
    big->setClockSnapshot(TTRClock::snapshot());
    ASSERT_TRUE(storage.store(big).first);
    ASSERT_TRUE(waitForUploads(1002, 2));
    EXPECT_EQ(storedEvents(1002), 0u);

    nlohmann::json body = receivedBodies(1002).at(1);
    const nlohmann::json* event = nullptr;
    for (const auto& request : body["log_requests"])
        if (request["log_source"] == 2101) event = &request["events"][0];
    ASSERT_TRUE(event) << body.dump().substr(0, 400);
    EXPECT_EQ((*event)["payload_size"], megabyte.size());
    EXPECT_EQ((*event)["payload_crc32"], crc32(0, megabyte.data(), static_cast<uInt>(megabyte.size())));
}
