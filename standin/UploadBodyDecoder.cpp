#include "standin/UploadBodyDecoder.h"

#include "transport/proto/ttr_client_metrics.pb.h"
#include "transport/proto/ttw_upload.pb.h"

#include <nlohmann/json.hpp>
#include <pb_decode.h>
#include <zlib.h>

#include <vector>

namespace standin {
namespace {

using nlohmann::json;

constexpr int32_t kMetricsLogSource = 2103;

struct Bytes {
    bool present = false;
    std::string bytes;
};

// Reads a byte field into a Bytes; the substream already bounds its length by the input's.
bool readBytes(pb_istream_t* stream, const pb_field_t*, void** arg) {
    auto* out = static_cast<Bytes*>(*arg);
    out->present = true;
    out->bytes.resize(stream->bytes_left);
    return pb_read(stream, reinterpret_cast<pb_byte_t*>(out->bytes.data()), out->bytes.size());
}

void putText(json& object, const char* key, const pb_bytes_array_t* bytes) {
    if (bytes) object[key] = std::string(reinterpret_cast<const char*>(bytes->bytes), bytes->size);
}

bool readDropped(pb_istream_t* stream, const pb_field_t*, void** arg) {
    ttr_client_metrics_LogEventDropped dropped = ttr_client_metrics_LogEventDropped_init_zero;
    if (!pb_decode(stream, ttr_client_metrics_LogEventDropped_fields, &dropped)) return false;
    json entry = json::object();
    if (dropped.has_events_dropped_count) entry["events_dropped_count"] = dropped.events_dropped_count;
    if (dropped.has_reason) entry["reason"] = dropped.reason;
    static_cast<json*>(*arg)->push_back(std::move(entry));
    return true;
}

bool readLogSourceMetrics(pb_istream_t* stream, const pb_field_t*, void** arg) {
    json dropped = json::array();
    ttr_client_metrics_LogSourceMetrics metrics = ttr_client_metrics_LogSourceMetrics_init_zero;
    metrics.log_event_dropped.funcs.decode = readDropped;
    metrics.log_event_dropped.arg = &dropped;
    if (!pb_decode(stream, ttr_client_metrics_LogSourceMetrics_fields, &metrics)) return false;
    json entry = {{"log_event_dropped", std::move(dropped)}};
    putText(entry, "log_source", metrics.log_source);
    pb_release(ttr_client_metrics_LogSourceMetrics_fields, &metrics);
    static_cast<json*>(*arg)->push_back(std::move(entry));
    return true;
}

std::optional<json> decodeClientMetrics(const std::string& payload) {
    json sources = json::array();
    ttr_client_metrics_ClientMetrics metrics = ttr_client_metrics_ClientMetrics_init_zero;
    metrics.log_source_metrics.funcs.decode = readLogSourceMetrics;
    metrics.log_source_metrics.arg = &sources;
    pb_istream_t stream =
        pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(payload.data()), payload.size());
    if (!pb_decode(&stream, ttr_client_metrics_ClientMetrics_fields, &metrics)) return std::nullopt;
    json out = {{"log_source_metrics", std::move(sources)}};
    if (metrics.has_window)
        out["window"] = {{"start_ms", metrics.window.start_ms}, {"end_ms", metrics.window.end_ms}};
    if (metrics.has_global_metrics && metrics.global_metrics.has_storage_metrics) {
        const auto& storage = metrics.global_metrics.storage_metrics;
        out["current_cache_size_bytes"] = storage.current_cache_size_bytes;
        out["max_cache_size_bytes"] = storage.max_cache_size_bytes;
    }
    putText(out, "bundle_id", metrics.bundle_id);
    pb_release(ttr_client_metrics_ClientMetrics_fields, &metrics);
    return out;
}

struct EventsContext {
    json events = json::array();
    std::vector<std::string> payloads; // one per event, for the metrics of log source 2103
};

bool readLogEvent(pb_istream_t* stream, const pb_field_t*, void** arg) {
    auto* context = static_cast<EventsContext*>(*arg);
    Bytes payload;
    ttw_LogEvent event = ttw_LogEvent_init_zero;
    event.payload.funcs.decode = readBytes;
    event.payload.arg = &payload;
    if (!pb_decode(stream, ttw_LogEvent_fields, &event)) return false;
    json out = json::object();
    if (event.has_event_time_ms) out["event_time_ms"] = event.event_time_ms;
    if (event.has_event_uptime_ms) out["event_uptime_ms"] = event.event_uptime_ms;
    if (event.has_timezone_offset_seconds) out["timezone_offset_seconds"] = event.timezone_offset_seconds;
    if (payload.present) {
        out["payload_size"] = payload.bytes.size();
        out["payload_crc32"] = crc32(0, reinterpret_cast<const Bytef*>(payload.bytes.data()),
                                     static_cast<uInt>(payload.bytes.size()));
        if (payload.bytes.size() <= kSummaryPayloadLimit) out["payload"] = payload.bytes;
    }
    context->payloads.push_back(std::move(payload.bytes));
    if (event.has_event_code) out["event_code"] = event.event_code;
    if (event.has_network_connection_info) {
        const ttw_NetworkConnectionInfo& network = event.network_connection_info;
        if (network.has_network_type) out["network_type"] = network.network_type;
        if (network.has_mobile_subtype) out["mobile_subtype"] = network.mobile_subtype;
    }
    if (event.has_compliance_data) {
        const ttw_ComplianceData& compliance = event.compliance_data;
        if (compliance.privacy_context.prequest.has_product_id)
            out["product_id"] = compliance.privacy_context.prequest.product_id;
        if (compliance.has_product_id_origin) out["product_id_origin"] = compliance.product_id_origin;
    }
    context->events.push_back(std::move(out));
    return true;
}

bool readLogRequest(pb_istream_t* stream, const pb_field_t*, void** arg) {
    EventsContext context;
    ttw_LogRequest request = ttw_LogRequest_init_zero;
    request.log_event.funcs.decode = readLogEvent;
    request.log_event.arg = &context;
    if (!pb_decode(stream, ttw_LogRequest_fields, &request)) return false;
    // The source may come after the events on the wire, so the metrics payloads are read last.
    if (request.has_log_source && request.log_source == kMetricsLogSource)
        for (size_t i = 0; i < context.payloads.size(); ++i)
            if (std::optional<json> metrics = decodeClientMetrics(context.payloads[i]))
                context.events[i]["client_metrics"] = *metrics;
    json out = {{"events", std::move(context.events)}};
    if (request.has_log_source) out["log_source"] = request.log_source;
    if (request.has_request_time_ms) out["request_time_ms"] = request.request_time_ms;
    if (request.has_request_uptime_ms) out["request_uptime_ms"] = request.request_uptime_ms;
    if (request.has_client_info) {
        const ttw_ClientInfo& client = request.client_info;
        if (client.has_client_type) out["client_type"] = client.client_type;
        if (client.has_mac_client_info) {
            putText(out, "os_major_minor_version", client.mac_client_info.os_major_minor_version);
            putText(out, "os_full_version", client.mac_client_info.os_full_version);
            putText(out, "application_build", client.mac_client_info.application_build);
            putText(out, "application_bundle_id", client.mac_client_info.application_bundle_id);
        }
    }
    pb_release(ttw_LogRequest_fields, &request);
    static_cast<json*>(*arg)->push_back(std::move(out));
    return true;
}

} // namespace

std::optional<std::string> decodeUploadBody(std::string_view body, std::string* error) {
    json requests = json::array();
    ttw_BatchedLogRequest batch = ttw_BatchedLogRequest_init_zero;
    batch.log_request.funcs.decode = readLogRequest;
    batch.log_request.arg = &requests;
    pb_istream_t stream =
        pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(body.data()), body.size());
    if (!pb_decode(&stream, ttw_BatchedLogRequest_fields, &batch)) {
        if (error) *error = PB_GET_ERROR(&stream);
        return std::nullopt;
    }
    json out = {{"log_requests", std::move(requests)}};
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace standin
