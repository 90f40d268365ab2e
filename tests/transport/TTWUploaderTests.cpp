// The uploader: its endpoints and keys, scheduling through the registrar, and one request per pass.
#include "UploadTestSupport.h"

#include "tests/support/WaitFor.h"
#include "transport/TTREndpoints.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace transporttest;

TEST(Endpoints, FourTargetsOnReservedDomainsWithTheOverrideAppliedOnEveryCall) {
    std::map<int64_t, std::string> builtIn;
    {
        TesseraBase none(std::nullopt);
        builtIn = TTREndpoints::uploadURLs();
    }
    ASSERT_EQ(builtIn.size(), 4u);
    for (const auto& [target, url] : builtIn) {
        EXPECT_EQ(url.rfind("https://", 0), 0u) << url;
        EXPECT_NE(url.find(".velmora.example/"), std::string::npos) << url;
    }
    EXPECT_EQ(builtIn.at(1003).substr(builtIn.at(1003).find(".example") + 8), "/dummy/api/very/long");
    EXPECT_FALSE(TTREndpoints::uploadURLForTarget(999));
    EXPECT_FALSE(TTWUploader::serverURLForTarget(1004));

    TesseraBase base("http://127.0.0.1:4321");
    for (const auto& [target, url] : TTREndpoints::uploadURLs()) {
        EXPECT_EQ(url.rfind("http://127.0.0.1:4321/", 0), 0u) << url;
        EXPECT_EQ(url.substr(url.find("4321") + 4),
                  builtIn.at(target).substr(builtIn.at(target).find(".example") + 8));
    }
    EXPECT_EQ(TTREndpoints::uploadURLForTarget(1002), TTREndpoints::uploadURLs().at(1002));
}

TEST(Endpoints, OneKeyServesTargets1001To1003AndTarget1000SendsNone) {
    auto uploader = TTWUploader::makeUploader(TTRRegistrar::makeRegistrar());
    EXPECT_FALSE(uploader->APIKeyForTarget(1000));
    EXPECT_FALSE(uploader->APIKeyForTarget(999));
    ASSERT_TRUE(uploader->APIKeyForTarget(1001));
    EXPECT_FALSE(uploader->APIKeyForTarget(1001)->empty());
    EXPECT_EQ(uploader->APIKeyForTarget(1002), uploader->APIKeyForTarget(1001));
    EXPECT_EQ(uploader->APIKeyForTarget(1003), uploader->APIKeyForTarget(1001));

    // Target 1000's requests carry no key header at all.
    auto operation = TTWUploadOperation::initWithTarget(1000, 20, "http://127.0.0.1:1/",
                                                        uploader->uploadQueue(), nullptr, uploader, nullptr);
    auto request = operation->constructRequestWithURL("http://127.0.0.1:1/", 1000, plat::Data{1});
    ASSERT_TRUE(request);
    EXPECT_FALSE(request->value("X-Tessera-Api-Key"));
    EXPECT_EQ(request->value("User-Agent"), "tesseratransport/0.0.1 ttwsupport/0.0.1 apple/");
    EXPECT_FALSE(operation->constructRequestWithURL("http://127.0.0.1:1/", 1000, plat::Data{}));
}

class Uploader : public UploadTest {
protected:
    void SetUp() override {
        for (int64_t target : {1001, 1002})
            registrar->registerStorage(storage.storage, target);
        registrar->registerMetricsController(metrics, 1001);
    }
    TesseraBase base{"http://127.0.0.1:" + std::to_string(port)};
};

TEST_F(Uploader, OnlyTheFirstOfTargetsScheduledTogetherSendsAndTheOthersWaitForTheNextPass) {
    storeEvent("2102", 1001, "session");
    storeEvent("2101", 1002, "report");
    // The first reply is held back until both are scheduled, so the second operation is still
    // waiting when the first ends.
    server.setFault(standin::UploadService::uploadPaths().at(1001),
                    standin::Fault{standin::Fault::Kind::Hold});
    uploader->uploadTarget(1001, TTRUploadConditionWifiData);
    uploader->uploadTarget(1002, TTRUploadConditionWifiData);
    ASSERT_TRUE(testsupport::eventually([&] { return server.held() == 1; }));
    server.clearFaults();
    server.releaseHeld();
    uploader->waitUntilAllOperationsAreFinished();
    storage.drain();
    EXPECT_EQ(receivedBodies(1001).size(), 1u);
    EXPECT_TRUE(receivedBodies(1002).empty());
    EXPECT_EQ(storedEvents(1001), 0u);
    EXPECT_EQ(storedEvents(1002), 1u);

    // A pass whose first target has nothing to send lets the next one go.
    server.clearFaults();
    uploader->uploadTarget(1001, TTRUploadConditionWifiData | TTRUploadConditionHighPriority);
    uploader->uploadTarget(1002, TTRUploadConditionWifiData | TTRUploadConditionHighPriority);
    uploader->waitUntilAllOperationsAreFinished();
    storage.drain();
    EXPECT_EQ(receivedBodies(1002).size(), 1u);
    EXPECT_EQ(storedEvents(1002), 0u);
}

TEST_F(Uploader, AForcedUploadWaitingBehindASentBatchStillRunsAndSendsTheEventStoredSince) {
    storeEvent("2101", 1002, "first report");
    // The reply is held back, so the second report is stored after the first batch went out and
    // its forced upload waits behind the sending one.
    server.setFault(standin::UploadService::uploadPaths().at(1002),
                    standin::Fault{standin::Fault::Kind::Hold});
    uploader->uploadTarget(1002, TTRUploadConditionWifiData | TTRUploadConditionHighPriority);
    ASSERT_TRUE(testsupport::eventually([&] { return server.held() == 1; }));
    storeEvent("2101", 1002, "second report");
    uploader->uploadTarget(1002, TTRUploadConditionWifiData | TTRUploadConditionHighPriority);
    // A regular pass queued behind them is still dropped once a request went out.
    uploader->uploadTarget(1001, TTRUploadConditionWifiData);
    storeEvent("2102", 1001, "session");
    server.clearFaults();
    server.releaseHeld();
    uploader->waitUntilAllOperationsAreFinished();
    storage.drain();

    std::vector<std::string> sent;
    for (const auto& body : receivedBodies(1002))
        for (const auto& payload : payloadsOf(body))
            sent.push_back(payload);
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<std::string>{"first report", "second report"}));
    EXPECT_EQ(storedEvents(1002), 0u);
    EXPECT_TRUE(receivedBodies(1001).empty());
    EXPECT_EQ(storedEvents(1001), 1u);
}

TEST_F(Uploader, ATargetWithoutAPromiseStorageIsLoggedAndNothingIsScheduled) {
    LogCapture log;
    uploader->uploadTarget(1003, TTRUploadConditionWifiData);
    uploader->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(log.contains("[TesseraTransport][I-TTR001006] Failed to upload target: 1003 - could not find "
                             "corresponding storage instance."));
    EXPECT_TRUE(server.uploads().records().empty());
}
