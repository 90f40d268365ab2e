// The upload's wire format: what the batched log request carries (checked with protoc against our
// .proto files), the response decoder on good and hostile bytes, gzip, the client-metrics message,
// and the per-event extras kept in custom bytes.
#include "TransportTestSupport.h"

#include "transport/TTRConsoleLogger.h"
#include "transport/TTREventTTWSupport.h"
#include "transport/TTRMetrics.h"
#include "transport/TTWClientMetricsBuilders.h"
#include "transport/TTWCompressionHelper.h"
#include "transport/TTWLogRequestBuilders.h"
#include "transport/TTWLogResponseDecoding.h"

#include <pb_encode.h>
#include <zlib.h>

#include <regex>

using namespace transporttest;

namespace {

std::shared_ptr<TTREvent> stampedEvent(const std::string& mappingID, const std::string& payload,
                                       int64_t timezoneOffset = 3600,
                                       std::shared_ptr<const TTRProductData> product = nullptr) {
    std::shared_ptr<TTREvent> event = TTREvent::initWithMappingID(mappingID, std::move(product), 1001);
    event->setDataObject(std::make_shared<BytesObject>(plat::toData(payload)));
    event->setClockSnapshot(
        std::make_shared<TTRClock>(1'700'000'000'123, timezoneOffset, 5'000'000'000, 42'000'000));
    return event;
}

size_t count(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

plat::Data encodeResponse(const ttw_LogResponse& response) {
    uint8_t buffer[256];
    pb_ostream_t stream = pb_ostream_from_buffer(buffer, sizeof buffer);
    EXPECT_TRUE(pb_encode(&stream, ttw_LogResponse_fields, &response));
    return plat::Data(buffer, buffer + stream.bytes_written);
}

std::string gunzip(const plat::Data& gzip) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 31), Z_OK);
    std::string out(4 << 20, '\0');
    stream.next_in = const_cast<Bytef*>(gzip.data());
    stream.avail_in = static_cast<uInt>(gzip.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

} // namespace

TEST(WireFormat, BatchedRequestCarriesOneLogRequestPerMappingIDWithClientInfoEventsAndComplianceData) {
    auto product = TTRProductData::initWithProductID(42);
    std::shared_ptr<TTREvent> session = stampedEvent("2102", "session-a", -3600, product);
    TTREventTTWSupport::setEventCode(*session, 7);
    ttw_NetworkConnectionInfo network = ttw_NetworkConnectionInfo_init_zero;
    network.has_network_type = true;
    network.network_type = 1;
    TTREventTTWSupport::setNetworkConnectionInfoData(*session, TTWNetworkConnectionInfoBytes(network));
    TTREvents events{session, stampedEvent("2102", "session-b"), stampedEvent("2101", "crash-report")};

    auto request = TTWConstructBatchedLogRequest(TTWGroupEventsByMappingID(events));
    plat::Data body = TTWEncodeBatchedLogRequest(*request);
    ASSERT_FALSE(body.empty());
    std::string text = protocDecode(body, "ttw.BatchedLogRequest", "ttw_upload.proto");

    EXPECT_EQ(count(text, "log_request {"), 2u) << text;
    EXPECT_EQ(count(text, "client_type: 15"), 2u) << text;
    EXPECT_EQ(count(text, "log_event {"), 3u) << text;
    EXPECT_NE(text.find("log_source: 2101"), std::string::npos) << text;
    EXPECT_NE(text.find("log_source: 2102"), std::string::npos) << text;
    EXPECT_NE(text.find("application_bundle_id: \"io.velmora.mac\""), std::string::npos) << text;
    EXPECT_NE(text.find("application_build: \"1\""), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(os_full_version: "\d+\.\d+\.\d+")"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(os_major_minor_version: "\d+\.\d+")"))) << text;
    EXPECT_NE(text.find("payload: \"crash-report\""), std::string::npos) << text;
    EXPECT_NE(text.find("timezone_offset_seconds: -3600"), std::string::npos) << text;
    EXPECT_EQ(count(text, "event_time_ms: 1700000000123"), 3u) << text;
    EXPECT_EQ(count(text, "event_uptime_ms: 42"), 3u) << text;
    // Only the first event has extras and product data.
    EXPECT_EQ(count(text, "event_code: 7"), 1u) << text;
    EXPECT_EQ(count(text, "network_type: 1"), 1u) << text;
    EXPECT_EQ(count(text, "product_id: 42"), 1u) << text;
    EXPECT_EQ(count(text, "product_id_origin: 5"), 1u) << text;
    EXPECT_EQ(text.find("qos_tier"), std::string::npos) << text;
    EXPECT_EQ(text.find("ios_client_info"), std::string::npos) << text;

    // The raw form shows the zigzag encoding: -3600 travels as 7199.
    std::string raw = protocDecode(body, "", "");
    EXPECT_NE(raw.find("15: 7199"), std::string::npos) << raw;
}

TEST(WireFormat, EventsWithoutExtrasStillWriteAnEmptyPayloadAndEmptySetsLogAndStayEmpty) {
    std::shared_ptr<TTREvent> event = stampedEvent("2102", "");
    auto record = TTWConstructLogEvent(event);
    EXPECT_FALSE(record->message.has_event_code);
    EXPECT_FALSE(record->message.has_network_connection_info);
    EXPECT_FALSE(record->message.has_compliance_data);
    auto request = TTWConstructBatchedLogRequest({{"2102", TTREvents{event}}});
    std::string text =
        protocDecode(TTWEncodeBatchedLogRequest(*request), "ttw.BatchedLogRequest", "ttw_upload.proto");
    EXPECT_NE(text.find("payload: \"\""), std::string::npos) << text;

    LogCapture log;
    int previous = TTRConsoleLoggerLoggingLevel.exchange(1);
    auto empty = TTWConstructLogRequest(2102, {});
    TTRConsoleLoggerLoggingLevel = previous;
    EXPECT_TRUE(
        log.contains("[TesseraTransport][I-TTR001006] An empty event set can't be serialized to proto."));
    EXPECT_FALSE(empty->message.has_client_info);
    EXPECT_FALSE(empty->message.has_log_source);
    EXPECT_FALSE(empty->message.has_request_time_ms);
}

TEST(WireFormat, MappingIDsReadAsIntegersTheWayADecimalTextDoes) {
    EXPECT_EQ(TTWLogSourceFromMappingID("2101"), 2101);
    EXPECT_EQ(TTWLogSourceFromMappingID("  42abc"), 42);
    EXPECT_EQ(TTWLogSourceFromMappingID("-7"), -7);
    EXPECT_EQ(TTWLogSourceFromMappingID("abc"), 0);
    EXPECT_EQ(TTWLogSourceFromMappingID("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(TTWLogSourceFromMappingID("-99999999999999999999"), INT32_MIN);
}

TEST(WireFormat, NetworkRecordIsSixteenLittleEndianBytesAndMobileSubtypesMapThroughTheTable) {
    plat::Data wifi = TTWConstructNetworkConnectionInfoData(1, 0);
    EXPECT_EQ(wifi, (plat::Data{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    plat::Data none = TTWConstructNetworkConnectionInfoData(0, 0);
    EXPECT_EQ(none, (plat::Data{0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0}));
    plat::Data mobile = TTWConstructNetworkConnectionInfoData(2, 10);
    EXPECT_EQ(mobile, (plat::Data{1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 14, 0, 0, 0}));
    // A mobile network whose subtype maps to 0 leaves the subtype absent.
    EXPECT_EQ(TTWConstructNetworkConnectionInfoData(2, 3)[8], 0);

    std::vector<int32_t> mapped;
    for (int32_t subtype = 0; subtype <= 12; ++subtype)
        mapped.push_back(TTWMapMobileSubtype(subtype));
    EXPECT_EQ(mapped, (std::vector<int32_t>{0, 1, 2, 0, 8, 9, 4, 5, 6, 12, 14, 13, 0}));
    EXPECT_EQ(TTWMapMobileSubtype(-1), 0);

    auto parsed = TTWParseNetworkConnectionInfoBytes(mobile);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->network_type, 0);
    EXPECT_EQ(parsed->mobile_subtype, 14u);
    EXPECT_FALSE(TTWParseNetworkConnectionInfoBytes(plat::Data(15, 0)));
}

TEST(WireFormat, LogResponsesDecodeWithOrWithoutAWaitAndHostileBytesGiveTheNanopbError) {
    plat::Error error;
    ttw_LogResponse empty = TTWDecodeLogResponse({}, &error);
    EXPECT_FALSE(empty.has_next_request_wait_millis);
    EXPECT_TRUE(error.domain.empty());

    ttw_LogResponse response = ttw_LogResponse_init_zero;
    response.has_next_request_wait_millis = true;
    response.next_request_wait_millis = 45000;
    plat::Data bytes = encodeResponse(response);
    // A QoS override with two tier configurations and a fingerprint, decoded and dropped.
    const uint8_t overrides[] = {0x1a, 0x0c, 0x0a, 0x04, 0x10, 0x03, 0x18,
                                 0x05, 0x0a, 0x02, 0x10, 0x01, 0x10, 0x09};
    bytes.insert(bytes.end(), std::begin(overrides), std::end(overrides));
    ttw_LogResponse decoded = TTWDecodeLogResponse(bytes, &error);
    EXPECT_TRUE(error.domain.empty());
    EXPECT_TRUE(decoded.has_next_request_wait_millis);
    EXPECT_EQ(decoded.next_request_wait_millis, 45000);
    EXPECT_TRUE(decoded.has_qos_tiers_override);
    EXPECT_EQ(decoded.qos_tiers_override.fingerprint, 9);
    pb_release(ttw_LogResponse_fields, &decoded);

    for (const plat::Data& hostile : {plat::Data{0x08, 0xff, 0xff}, plat::Data{0x1a, 0x7f, 0x0a},
                                      plat::Data{0x1a, 0x04, 0x0a, 0x02, 0x10, 0xff}, plat::Data{0x0f}}) {
        plat::Error failure;
        ttw_LogResponse bad = TTWDecodeLogResponse(hostile, &failure);
        EXPECT_EQ(failure.domain, "NSURLErrorDomain");
        EXPECT_EQ(failure.code, -1);
        ASSERT_TRUE(failure.userInfo.count("nanopb error:"));
        EXPECT_FALSE(failure.userInfo.at("nanopb error:").string().empty());
        EXPECT_FALSE(bad.has_next_request_wait_millis);
    }
}

TEST(WireFormat, GzipIsChosenOnlyWhenItWorksAndTheMagicTestReadsTwoBytes) {
    EXPECT_FALSE(TTWCompressionHelper::gzippedData({}));
    std::optional<plat::Data> small = TTWCompressionHelper::gzippedData(plat::toData("0123456789"));
    ASSERT_TRUE(small);
    EXPECT_GT(small->size(), 10u); // so the plain body would be sent
    EXPECT_TRUE(TTWCompressionHelper::isGzipped(*small));
    EXPECT_FALSE(TTWCompressionHelper::isGzipped(plat::Data{0x1f}));
    EXPECT_FALSE(TTWCompressionHelper::isGzipped(plat::Data{0x1f, 0x8c}));

    // Larger than the fixed output chunk many times over, and it inflates back unchanged.
    std::string text;
    for (int i = 0; text.size() < 3 * 1024 * 1024; ++i)
        text += "event " + std::to_string(i) + " of the batch; ";
    std::optional<plat::Data> big = TTWCompressionHelper::gzippedData(plat::toData(text));
    ASSERT_TRUE(big);
    EXPECT_LT(big->size(), text.size() / 4);
    EXPECT_EQ(gunzip(*big), text);
}

TEST(WireFormat, ClientMetricsCarryWholeSecondWindowsReasonsSizesAndBundleID) {
    EXPECT_EQ(TTWConstructTimeWindow(plat::Date{1000.9}, plat::Date{2000.2}).start_ms, 1000000);
    EXPECT_EQ(TTWConstructTimeWindow(plat::Date{1000.9}, plat::Date{2000.2}).end_ms, 2000000);
    EXPECT_EQ(TTWConstructTimeWindow(plat::Date{-1.5}, plat::Date{1e300}).start_ms, -1000);
    EXPECT_EQ(TTWConstructTimeWindow(plat::Date{-1.5}, plat::Date{1e300}).end_ms, INT64_MAX);
    std::vector<uint32_t> reasons;
    for (int64_t reason : {0, 1, 2, 3, 4, 5, 6, 7, -1})
        reasons.push_back(TTWConvertEventDropReasonToProtoReason(reason));
    EXPECT_EQ(reasons, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 0, 0}));

    auto counts = std::make_shared<const TTRLogSourceMetrics>(
        TTRLogSourceMetrics::Counts{{"2101", {{1, 3}, {9, 2}}}, {"2102", {{5, 1}}}});
    TTRMetrics metrics(plat::Date{1000.9}, plat::Date{2000.2}, counts, 1234, 20000000, "io.velmora.mac");
    std::optional<plat::Data> bytes = metrics.transportBytes();
    ASSERT_TRUE(bytes);
    std::string text = protocDecode(*bytes, "ttr.client_metrics.ClientMetrics", "ttr_client_metrics.proto");
    EXPECT_NE(text.find("start_ms: 1000000"), std::string::npos) << text;
    EXPECT_NE(text.find("end_ms: 2000000"), std::string::npos) << text;
    EXPECT_EQ(count(text, "log_source_metrics {"), 2u) << text;
    EXPECT_NE(text.find("log_source: \"2101\""), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(events_dropped_count: 3\s+reason: 1\n)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(events_dropped_count: 2\s+reason: 0\n)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(events_dropped_count: 1\s+reason: 5\n)"))) << text;
    EXPECT_NE(text.find("current_cache_size_bytes: 1234"), std::string::npos) << text;
    EXPECT_NE(text.find("max_cache_size_bytes: 20000000"), std::string::npos) << text;
    EXPECT_NE(text.find("bundle_id: \"io.velmora.mac\""), std::string::npos) << text;

    std::shared_ptr<TTREvent> event = TTREventWithMetrics(std::make_shared<TTRMetrics>(metrics), 1002);
    EXPECT_EQ(event->mappingID(), "2103");
    EXPECT_EQ(event->target(), 1002);
    EXPECT_EQ(event->serializedDataObjectBytes(), bytes);
}

TEST(WireFormat, EventExtrasRoundTripAndDamagedCustomBytesAreNeverReplaced) {
    std::shared_ptr<TTREvent> event = makeEvent("2102", 1001);
    EXPECT_FALSE(TTREventTTWSupport::needsNetworkConnectionInfoPopulated(*event));
    EXPECT_FALSE(TTREventTTWSupport::eventCode(*event));
    TTREventTTWSupport::setNeedsNetworkConnectionInfoPopulated(*event, true);
    TTREventTTWSupport::setEventCode(*event, -12);
    plat::Data record = TTWConstructNetworkConnectionInfoData(1, 0);
    TTREventTTWSupport::setNetworkConnectionInfoData(*event, record);
    EXPECT_TRUE(TTREventTTWSupport::needsNetworkConnectionInfoPopulated(*event));
    EXPECT_EQ(TTREventTTWSupport::eventCode(*event), -12);
    EXPECT_EQ(TTREventTTWSupport::networkConnectionInfoData(*event), record);

    // Removing one entry keeps the others.
    TTREventTTWSupport::setEventCode(*event, std::nullopt);
    TTREventTTWSupport::setNeedsNetworkConnectionInfoPopulated(*event, false);
    EXPECT_FALSE(TTREventTTWSupport::eventCode(*event));
    EXPECT_FALSE(TTREventTTWSupport::needsNetworkConnectionInfoPopulated(*event));
    EXPECT_EQ(TTREventTTWSupport::networkConnectionInfoData(*event), record);

    for (const std::string& damaged :
         {std::string("{not json"), std::string("[1,2]"), std::string("\xff\xfe")}) {
        std::shared_ptr<TTREvent> other = makeEvent("2102", 1001);
        other->setCustomBytes(plat::toData(damaged));
        TTREventTTWSupport::setEventCode(*other, 3);
        TTREventTTWSupport::setNeedsNetworkConnectionInfoPopulated(*other, true);
        TTREventTTWSupport::setNetworkConnectionInfoData(*other, record);
        EXPECT_EQ(other->customBytes(), plat::toData(damaged));
        EXPECT_FALSE(TTREventTTWSupport::eventCode(*other));
        EXPECT_FALSE(TTREventTTWSupport::networkConnectionInfoData(*other));
        EXPECT_FALSE(TTWConstructLogEvent(other)->message.has_event_code);
    }

    // A code that is not a decimal text, and a record of another length, are not sent.
    std::shared_ptr<TTREvent> odd = makeEvent("2102", 1001);
    odd->setCustomBytes(plat::toData(R"({"event_code_info":"12x","network_connection_info":"AAEC"})"));
    auto oddRecord = TTWConstructLogEvent(odd);
    EXPECT_FALSE(oddRecord->message.has_event_code);
    EXPECT_FALSE(oddRecord->message.has_network_connection_info);
}
