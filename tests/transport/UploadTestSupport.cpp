#include "UploadTestSupport.h"

#include <cstdlib>

namespace transporttest {

TesseraBase::TesseraBase(const std::optional<std::string>& base) {
    if (const char* value = std::getenv(kTSRTesseraBaseEnvironmentVariable)) previous_ = value;
    if (base)
        ::setenv(kTSRTesseraBaseEnvironmentVariable, base->c_str(), 1);
    else
        ::unsetenv(kTSRTesseraBaseEnvironmentVariable);
}

TesseraBase::~TesseraBase() {
    if (previous_)
        ::setenv(kTSRTesseraBaseEnvironmentVariable, previous_->c_str(), 1);
    else
        ::unsetenv(kTSRTesseraBaseEnvironmentVariable);
}

UploadTest::UploadTest() {
    port = server.start();
    metrics = TTRMetricsController::initWithStorage(storage.storage);
    uploader = TTWUploader::makeUploader(registrar);
}

UploadTest::~UploadTest() {
    uploader->waitUntilAllOperationsAreFinished();
    storage.drain();
}

std::string UploadTest::uploadURL(int64_t target) const {
    return "http://127.0.0.1:" + std::to_string(port) + standin::UploadService::uploadPaths().at(target);
}

std::shared_ptr<TTREvent> UploadTest::storeEvent(const std::string& mappingID, int64_t target,
                                                 const std::string& payload, int64_t qosTier) {
    std::shared_ptr<TTREvent> event = makeEvent(mappingID, target, payload);
    event->setQosTier(qosTier);
    event->setClockSnapshot(TTRClock::snapshot());
    EXPECT_TRUE(storage.store(event).first);
    return event;
}

std::shared_ptr<TTWUploadOperation> UploadTest::runOperation(int64_t target, uint32_t conditions,
                                                             bool withMetrics, const std::string& url) {
    auto operation = TTWUploadOperation::initWithTarget(
        target, conditions, url.empty() ? uploadURL(target) : url, uploader->uploadQueue(), storage.storage,
        uploader, withMetrics ? metrics : nullptr);
    operation->start();
    operation->waitUntilFinished();
    storage.drain();
    return operation;
}

size_t UploadTest::storedEvents(int64_t target) const {
    return StorageFixture::fileNames(storage.targetFolder(target)).size();
}

std::vector<nlohmann::json> UploadTest::receivedBodies(int64_t target) const {
    std::vector<nlohmann::json> bodies;
    for (const standin::UploadRecord& record : server.uploads().records())
        if (record.target == target)
            bodies.push_back(record.decoded ? nlohmann::json::parse(*record.decoded) : nlohmann::json());
    return bodies;
}

std::vector<std::string> UploadTest::payloadsOf(const nlohmann::json& body) {
    std::vector<std::string> payloads;
    for (const auto& request : body["log_requests"])
        if (request.value("log_source", 0) != 2103)
            for (const auto& event : request["events"])
                payloads.push_back(event.value("payload", ""));
    std::sort(payloads.begin(), payloads.end());
    return payloads;
}

nlohmann::json UploadTest::clientMetricsOf(const nlohmann::json& body) {
    for (const auto& request : body["log_requests"])
        if (request.value("log_source", 0) == 2103 && !request["events"].empty())
            return request["events"][0].value("client_metrics", nlohmann::json());
    return nlohmann::json();
}

std::optional<int64_t> UploadTest::waitAheadMillis(int64_t target) const {
    std::shared_ptr<const TTRClock> next = uploader->nextUploadTimeForTarget(target);
    if (!next) return std::nullopt;
    return next->timeMillis() - TTRClock::snapshot()->timeMillis();
}

} // namespace transporttest
