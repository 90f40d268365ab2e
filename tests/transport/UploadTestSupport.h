// Upload tests against the in-process stand-in: a flat-file storage over a temporary root, a metrics
// controller over it, an uploader (the operations' metadata provider) over a private registrar, and
// helpers to store events, run one operation and read what the stand-in received.
#pragma once

#include "TransportTestSupport.h"

#include "transport/TTRMetricsController.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTWUploadOperation.h"
#include "transport/TTWUploader.h"

#include "../support/TestSupport.h"
#include "core/TSRTesseraBase.h"
#include "standin/StandinServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace transporttest {

// Points the app core's services at `base` (or at their built-in addresses when none) for the
// lifetime of the object; the tests run with the override set to a closed port.
class TesseraBase {
public:
    explicit TesseraBase(const std::optional<std::string>& base);
    ~TesseraBase();

private:
    std::optional<std::string> previous_;
};

class UploadTest : public ::testing::Test {
public:
    // Every payload text of the summaries, over every log request but the metrics one, sorted.
    static std::vector<std::string> payloadsOf(const nlohmann::json& body);

protected:
    UploadTest();
    ~UploadTest() override;

    // "http://127.0.0.1:<port>" followed by the target's upload path.
    std::string uploadURL(int64_t target) const;
    // Stores an event of the mapping id, target and tier with `payload`, stamped now.
    std::shared_ptr<TTREvent> storeEvent(const std::string& mappingID, int64_t target,
                                         const std::string& payload, int64_t qosTier = 3);
    // Runs one operation to its end; without a metrics controller when `withMetrics` is false; to
    // `url` instead of the stand-in's endpoint when one is given.
    std::shared_ptr<TTWUploadOperation> runOperation(int64_t target, uint32_t conditions,
                                                     bool withMetrics = true, const std::string& url = "");
    // The event files left in the target's folder.
    size_t storedEvents(int64_t target) const;
    // The stand-in's decoded summaries of every upload of the target, oldest first.
    std::vector<nlohmann::json> receivedBodies(int64_t target) const;
    // The client-metrics object of the metrics event in the body, or null.
    static nlohmann::json clientMetricsOf(const nlohmann::json& body);
    // Milliseconds from now to the target's next upload time; none when there is none.
    std::optional<int64_t> waitAheadMillis(int64_t target) const;

    testsupport::TempHome home;
    StorageFixture storage{home.path()};
    mutable standin::StandinServer server;
    int port = 0;
    std::shared_ptr<TTRMetricsController> metrics;
    std::shared_ptr<TTRRegistrar> registrar = TTRRegistrar::makeRegistrar();
    std::shared_ptr<TTWUploader> uploader;
};

} // namespace transporttest
