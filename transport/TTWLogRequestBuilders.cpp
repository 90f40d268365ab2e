#include "transport/TTWLogRequestBuilders.h"

#include "transport/TTRClock.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTREventTTWSupport.h"
#include "transport/TTRPlatform.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"

#include <pb_encode.h>

#include <array>
#include <cctype>
#include <climits>
#include <string>

namespace {

constexpr uint32_t kMacClientType = 15;
constexpr uint32_t kProductIDOrigin = 5;
constexpr const char* kBundleVersionKey = "CFBundleVersion";

void putLittleEndian32(plat::Data& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t readLittleEndian32(const plat::Data& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

std::string nanopbError(const char* message) {
    return message ? message : "(none)";
}

} // namespace

TTWEventsByMappingID TTWGroupEventsByMappingID(const TTREvents& events) {
    TTWEventsByMappingID grouped;
    for (const std::shared_ptr<TTREvent>& event : events)
        if (event) grouped[event->mappingID()].push_back(event);
    return grouped;
}

std::unique_ptr<TTWBatchedLogRequestRecord>
TTWConstructBatchedLogRequest(const TTWEventsByMappingID& events) {
    auto request = std::make_unique<TTWBatchedLogRequestRecord>();
    request->logRequests().reserve(events.size());
    for (const auto& [mappingID, group] : events)
        request->logRequests().push_back(TTWConstructLogRequest(TTWLogSourceFromMappingID(mappingID), group));
    return request;
}

std::unique_ptr<TTWLogRequestRecord> TTWConstructLogRequest(int32_t logSource, const TTREvents& events) {
    auto request = std::make_unique<TTWLogRequestRecord>();
    if (events.empty()) {
        TTRLog(kTTRMCErrorLog, TTRLoggingLevelErrors, "%@",
               "An empty event set can't be serialized to proto.");
        return request;
    }
    ttw_LogRequest& message = request->message;
    message.has_client_info = true;
    message.client_info = TTWConstructClientInfo();
    message.has_log_source = true;
    message.log_source = logSource;
    request->logEvents().reserve(events.size());
    for (const std::shared_ptr<TTREvent>& event : events)
        if (event) request->logEvents().push_back(TTWConstructLogEvent(event));
    std::shared_ptr<TTRClock> clock = TTRClock::snapshot();
    message.has_request_time_ms = true;
    message.request_time_ms = clock->timeMillis();
    message.has_request_uptime_ms = true;
    message.request_uptime_ms = clock->uptimeMilliseconds();
    return request;
}

ttw_ClientInfo TTWConstructClientInfo() {
    ttw_ClientInfo info = ttw_ClientInfo_init_zero;
    info.has_client_type = true;
    info.client_type = kMacClientType;
    info.has_mac_client_info = true;
    info.mac_client_info = TTWConstructMacClientInfo();
    return info;
}

ttw_MacClientInfo TTWConstructMacClientInfo() {
    ttw_MacClientInfo info = ttw_MacClientInfo_init_zero;
    plat::OperatingSystemVersion version = plat::ProcessInfo::processInfo().operatingSystemVersion();
    std::string majorMinor =
        std::to_string(version.majorVersion) + "." + std::to_string(version.minorVersion);
    info.os_major_minor_version = TTWEncodeString(majorMinor);
    info.os_full_version = TTWEncodeString(majorMinor + "." + std::to_string(version.patchVersion));
    plat::Object build = plat::Bundle::main().objectForInfoDictionaryKey(kBundleVersionKey);
    if (build.isString()) info.application_build = TTWEncodeString(build.string());
    if (std::optional<std::string> identifier = plat::Bundle::main().bundleIdentifier())
        info.application_bundle_id = TTWEncodeString(*identifier);
    return info;
}

ttw_IosClientInfo TTWConstructiOSClientInfo() {
    ttw_IosClientInfo info = ttw_IosClientInfo_init_zero;
    return info;
}

std::unique_ptr<TTWLogEventRecord> TTWConstructLogEvent(std::shared_ptr<const TTREvent> event) {
    auto record = std::make_unique<TTWLogEventRecord>(event);
    ttw_LogEvent& message = record->message;
    message.network_connection_info.network_type = -1;
    if (const std::shared_ptr<const TTRClock>& clock = event->clockSnapshot()) {
        message.has_event_time_ms = true;
        message.event_time_ms = clock->timeMillis();
        message.has_event_uptime_ms = true;
        message.event_uptime_ms = clock->uptimeMilliseconds();
        message.has_timezone_offset_seconds = true;
        message.timezone_offset_seconds = clock->timezoneOffsetSeconds();
    }
    if (event->customBytes()) {
        if (std::optional<plat::Data> network = TTREventTTWSupport::networkConnectionInfoData(*event)) {
            if (std::optional<ttw_NetworkConnectionInfo> info =
                    TTWParseNetworkConnectionInfoBytes(*network)) {
                message.has_network_connection_info = true;
                message.network_connection_info = *info;
            } else {
                // Only 16-byte records are ever written; anything else is not a record of ours.
                TTRLogDebug("Ignoring a network_connection_info of %ld bytes",
                            static_cast<long>(network->size()));
            }
        }
        if (std::optional<int64_t> code = TTREventTTWSupport::eventCode(*event)) {
            message.has_event_code = true;
            message.event_code = static_cast<int32_t>(*code);
        }
    }
    if (const std::shared_ptr<const TTRProductData>& product = event->productData()) {
        message.has_compliance_data = true;
        message.compliance_data = TTWConstructComplianceData(*product);
    }
    return record;
}

ttw_ComplianceData TTWConstructComplianceData(const TTRProductData& productData) {
    ttw_ComplianceData compliance = ttw_ComplianceData_init_zero;
    compliance.has_privacy_context = true;
    compliance.privacy_context.has_prequest = true;
    compliance.privacy_context.prequest.has_product_id = true;
    compliance.privacy_context.prequest.product_id = productData.productID();
    compliance.has_product_id_origin = true;
    compliance.product_id_origin = kProductIDOrigin;
    return compliance;
}

plat::Data TTWConstructNetworkConnectionInfoData() {
    return TTWConstructNetworkConnectionInfoData(TTRNetworkTypeMessage(), TTRNetworkMobileSubTypeMessage());
}

plat::Data TTWConstructNetworkConnectionInfoData(int32_t networkTypeMessage, int32_t platformMobileSubtype) {
    ttw_NetworkConnectionInfo info = ttw_NetworkConnectionInfo_init_zero;
    info.network_type = -1;
    if (networkTypeMessage != 0) {
        info.has_network_type = true;
        if (networkTypeMessage == 2) {
            info.network_type = 0;
            int32_t subtype = TTWMapMobileSubtype(platformMobileSubtype);
            info.mobile_subtype = static_cast<uint32_t>(subtype);
            info.has_mobile_subtype = subtype != 0;
        } else {
            info.network_type = 1;
        }
    }
    return TTWNetworkConnectionInfoBytes(info);
}

int32_t TTWNetworkConnectionInfoNetworkMobileSubtype() {
    return TTWMapMobileSubtype(TTRNetworkMobileSubTypeMessage());
}

int32_t TTWMapMobileSubtype(int32_t platformMobileSubtype) {
    // Platform subtype (index) to proto subtype; built once as a constant.
    static constexpr std::array<int32_t, 12> kTable = {0, 1, 2, 0, 8, 9, 4, 5, 6, 12, 14, 13};
    if (platformMobileSubtype <= 0 || platformMobileSubtype >= static_cast<int32_t>(kTable.size())) return 0;
    return kTable[static_cast<size_t>(platformMobileSubtype)];
}

plat::Data TTWNetworkConnectionInfoBytes(const ttw_NetworkConnectionInfo& info) {
    plat::Data bytes(16, 0);
    bytes[0] = info.has_network_type ? 1 : 0;
    putLittleEndian32(bytes, 4, static_cast<uint32_t>(info.has_network_type ? info.network_type : -1));
    bytes[8] = info.has_mobile_subtype ? 1 : 0;
    putLittleEndian32(bytes, 12, info.has_mobile_subtype ? info.mobile_subtype : 0);
    return bytes;
}

std::optional<ttw_NetworkConnectionInfo> TTWParseNetworkConnectionInfoBytes(const plat::Data& bytes) {
    if (bytes.size() != 16) return std::nullopt;
    ttw_NetworkConnectionInfo info = ttw_NetworkConnectionInfo_init_zero;
    info.has_network_type = bytes[0] != 0;
    info.network_type = static_cast<int32_t>(readLittleEndian32(bytes, 4));
    info.has_mobile_subtype = bytes[8] != 0;
    info.mobile_subtype = readLittleEndian32(bytes, 12);
    return info;
}

int32_t TTWLogSourceFromMappingID(const std::string& mappingID) {
    size_t i = 0;
    while (i < mappingID.size() && std::isspace(static_cast<unsigned char>(mappingID[i])))
        ++i;
    bool negative = false;
    if (i < mappingID.size() && (mappingID[i] == '-' || mappingID[i] == '+'))
        negative = mappingID[i++] == '-';
    int64_t value = 0;
    for (; i < mappingID.size() && std::isdigit(static_cast<unsigned char>(mappingID[i])); ++i) {
        value = value * 10 + (mappingID[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

std::optional<plat::Data> TTWEncodeMessage(const pb_msgdesc_t* fields, const void* message, long code) {
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!pb_encode(&sizing, fields, message)) {
        TTRLog(code, TTRLoggingLevelErrors, "Error in nanopb encoding for size: %s",
               nanopbError(PB_GET_ERROR(&sizing)));
        return std::nullopt;
    }
    plat::Data bytes(sizing.bytes_written);
    pb_ostream_t stream = pb_ostream_from_buffer(bytes.data(), bytes.size());
    if (!pb_encode(&stream, fields, message)) {
        TTRLog(code, TTRLoggingLevelErrors, "Error in nanopb encoding for bytes: %s",
               nanopbError(PB_GET_ERROR(&stream)));
        return std::nullopt;
    }
    // A second pass that wrote less than the first measured would leave zero bytes at the end.
    if (stream.bytes_written != bytes.size()) {
        TTRLog(code, TTRLoggingLevelErrors, "Error in nanopb encoding for bytes: %s",
               "size changed between passes");
        return std::nullopt;
    }
    return bytes;
}

plat::Data TTWEncodeBatchedLogRequest(const TTWBatchedLogRequestRecord& request) {
    return TTWEncodeMessage(request.fields(), &request.message, kTTRMCErrorLog).value_or(plat::Data());
}
