// Reads an upload body (a ttw.BatchedLogRequest) the way the upload service would, for the stand-in's
// log and for tests: every log request with its client info and events, and the client-metrics
// payload of log source 2103 decoded as well. The bytes come from a client and are untrusted:
// anything that does not decode gives an error, never a crash or an unbounded allocation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

// Payloads up to this size are copied into the summary as text; longer ones by size and CRC only.
inline constexpr size_t kSummaryPayloadLimit = 4096;

// The body as JSON text:
//   {"log_requests": [{"log_source", "client_type", "os_major_minor_version", "os_full_version",
//     "application_build", "application_bundle_id", "request_time_ms", "request_uptime_ms",
//     "events": [{"event_time_ms", "event_uptime_ms", "timezone_offset_seconds", "payload_size",
//       "payload_crc32", "payload", "event_code", "network_type", "mobile_subtype", "product_id",
//       "product_id_origin", "client_metrics": {...}}]}]}
// where a key is present only when its field was. None, with `error` set, when the body does not
// decode.
std::optional<std::string> decodeUploadBody(std::string_view body, std::string* error);

} // namespace standin
